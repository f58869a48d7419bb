#!/usr/bin/env bash
# completion-test.sh QUORVEL_CLI COMPLETION: what the completion offers for a command and
# for an option must be the commands and options quorvel-cli --help lists.
set -euo pipefail
cli=$1
# shellcheck source=/dev/null
source "$2"

offers() {  # offers WORD...: the completions of the last word
    COMP_WORDS=(quorvel-cli "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _quorvel_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort -u
}

help=$("$cli" --help)
# The first word of each "|"-separated entry of the lines that start a command.
commands=$(sed -n '/^commands/,/^$/p' <<<"$help" | grep '^  [^ ]' | tr '|' '\n' |
  awk '$1 ~ /^[A-Za-z]/ {print $1}' | sort -u)
options=$(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
status=0
diff <(echo "$commands") <(offers "") || { echo "commands differ (< help, > completion)"; status=1; }
diff <(echo "$options") <(offers --) || { echo "options differ (< help, > completion)"; status=1; }
diff <(printf '%s\n' 1 2 3 6) <(offers --port 1 --kind "") || { echo "--kind values differ"; status=1; }
[ -z "$(offers --json GetApps "")" ] || { echo "GetApps takes no file"; status=1; }
exit $status
