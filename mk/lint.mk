# `make lint`: the house's format and checks (.clang-format, .clang-tidy) over every C++ source,
# and shellcheck over every shell script. clang-format must leave each file as it is; clang-tidy
# runs on the dev build's compile database (configured here, so the generated headers exist); any
# finding of either checker fails. A rule that is wrong for a line gets a NOLINT (or a shellcheck
# disable) naming the rule, with the reason beside it.

LINT_PACKAGES := $(sort $(PACKAGES) clang-format clang-tidy shellcheck)
LINT_BUILD := build/dev

.PHONY: lint

lint:
	@$(MAKE) --no-print-directory deps PACKAGES="$(LINT_PACKAGES)"
	find . \( -path ./build -o -path ./.git -o -name node_modules \) -prune -o \
	  \( -name '*.cpp' -o -name '*.hpp' \) -print | sort | xargs clang-format --dry-run --Werror
	cmake --preset dev >/dev/null
	run-clang-tidy -p $(LINT_BUILD) -j $(JOBS) -quiet \
	  -header-filter='^$(CURDIR)/(src|tests|examples|bench|fuzz)/' >$(LINT_BUILD)/clang-tidy.log 2>&1 || \
	  { grep -v '^clang-tidy-[0-9]* ' $(LINT_BUILD)/clang-tidy.log; exit 1; }
	git ls-files '*.sh' .ci/run | xargs shellcheck --external-sources --source-path=SCRIPTDIR
	@echo "lint: clang-format, clang-tidy and shellcheck found nothing"
