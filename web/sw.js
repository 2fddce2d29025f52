// Keeps the page working offline: its own files are cached when it is first served, and every
// request is answered from the network while there is one (so a new build shows at once), else
// from the cache. web/build.sh stamps the build into the cache's name; older caches go.
const CACHE = 'zivavod-@BUILD@';
// The folder's own address ('./') is cached when first visited: not every server answers it.
const FILES = ['index.html', 'page.css', 'page.js', 'compare.js', 'layout.mjs', 'zivavod-web.mjs', 'zivavod.js',
  'zivavod.wasm', 'zivavod-inspect.js', 'zivavod-inspect.wasm', 'manifest.webmanifest', 'icon.svg'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((name) => name !== CACHE).map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  event.respondWith(fetch(event.request)
    .then((response) => {
      if (response.ok && new URL(event.request.url).origin === self.location.origin) {
        const copy = response.clone();
        event.waitUntil(caches.open(CACHE).then((cache) => cache.put(event.request, copy)));
      }
      return response;
    })
    .catch(() => caches.match(event.request, { ignoreSearch: true })
      .then((cached) => cached ?? Response.error())));
});
