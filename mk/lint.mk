# `make lint`: the house's format and checks (.clang-format, .clang-tidy) over every C++ source,
# ESLint's recommended rules over the JavaScript (eslint.config.mjs; ESLint from
# web/package-lock.json, as the browser test's drivers) and shellcheck over every shell script.
# clang-format must leave each file as it is; clang-tidy runs on the dev build's compile database
# (configured here, so the generated headers exist); any finding of any checker fails. A rule
# that is wrong for a line gets a NOLINT (a shellcheck or eslint disable) naming the rule, with
# the reason beside it.

LINT_PACKAGES := $(sort $(PACKAGES) clang-format clang-tidy shellcheck nodejs ca-certificates)
LINT_BUILD := build/dev

.PHONY: lint

lint:
	@$(MAKE) --no-print-directory deps \
	  PACKAGES="$(LINT_PACKAGES) $$(command -v npm >/dev/null || echo npm)"
	find . \( -path ./build -o -path ./.git -o -name node_modules \) -prune -o \
	  \( -name '*.cpp' -o -name '*.hpp' \) -print | sort | xargs clang-format --dry-run --Werror
	cmake --preset dev >/dev/null
	run-clang-tidy -p $(LINT_BUILD) -j $(JOBS) -quiet \
	  -header-filter='^$(CURDIR)/(src|tests|examples|bench|fuzz)/' >$(LINT_BUILD)/clang-tidy.log 2>&1 || \
	  { grep -v '^clang-tidy-[0-9]* ' $(LINT_BUILD)/clang-tidy.log; exit 1; }
	git ls-files '*.sh' .ci/run | xargs shellcheck --external-sources --source-path=SCRIPTDIR
	web/npm_install.sh
	git ls-files '*.js' '*.mjs' | xargs build/web/node/node_modules/.bin/eslint --max-warnings 0
	@echo "lint: clang-format, clang-tidy, shellcheck and ESLint found nothing"
