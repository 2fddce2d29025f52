// ESLint's recommended rules over the project's JavaScript (make lint: mk/lint.mk). ESLint and
// its rule sets come from web/package-lock.json, installed into build/web/node by
// web/npm_install.sh, and are loaded from there: nothing of npm's lives in the source tree.
import { createRequire } from 'node:module';

const require = createRequire(new URL('build/web/node/package.json', import.meta.url));
const js = require('@eslint/js');
const globals = require('globals');

export default [
  { ignores: ['build/**', '**/node_modules/**'] },
  js.configs.recommended,
  {
    // The page's modules, the API (browser and node), the node runners and the tests, whose
    // callbacks run in the page.
    files: ['**/*.js', '**/*.mjs'],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: 'module',
      globals: { ...globals.browser, ...globals.node },
    },
  },
  {
    files: ['web/sw.js'],
    languageOptions: { sourceType: 'script', globals: { ...globals.serviceworker } },
  },
];
