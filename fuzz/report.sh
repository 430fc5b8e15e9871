# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the fuzz run scripts: after the runs, reports each target's runs and corpus,
# every failing input with what it breaks (the failed property or the first sanitizer
# line), and one line per distinct fault: how many inputs, and the shortest of them.
# Uses the caller's work, timeout, seconds and status; exits 1 when anything failed.
fuzz_report() {
    echo "== report"
    local target artifact why runs
    for target in "$@"; do
        runs=$(grep -Eo '^#[0-9]+' "$work/$target.log" | tail -1 || true)
        echo "$target: ${runs:-#0} runs, corpus $(find "$work/corpus-$target" -type f | wc -l) inputs," \
            "log $work/$target.log"
        : >"$work/failures-$target"
        for artifact in "$work/artifacts-$target"/*; do
            [ -e "$artifact" ] || continue
            why=$("$work/$target" -timeout="$timeout" "$artifact" 2>&1 |
                grep -Em1 'property failed|runtime error|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)' |
                sed -E 's/^==[0-9]+==//' || true)
            # Inputs kept from earlier runs count only while they still fail.
            if [ -n "$why" ]; then status=1; else why="passes now (kept from an earlier run)"; fi
            printf '%s\t%s\t%s\n' "$why" "$(stat -c %s "$artifact")" "$artifact" \
                >>"$work/failures-$target"
        done
        sort -t$'\t' -k1,1 -k2,2n "$work/failures-$target" | awk -F'\t' '
            $1 != last { if (n) print line; last = $1; n = 0; line = "" }
            { n++; if (n == 1) first = $3 " (" $2 " bytes)"; line = "  " $1 "\n    " n " input(s), shortest " first }
            END { if (n) print line }'
    done
    if [ "$status" -ne 0 ]; then
        echo "FAILED: see the inputs above (xxd FILE shows one; ./TARGET FILE reruns it)"
        exit 1
    fi
    echo "no property failure, crash, leak, timeout or sanitizer report in $seconds s per target"
}
