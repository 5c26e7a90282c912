#!/usr/bin/env bash
# Each program given answers -h and --help with its usage on standard output and exit 0, and
# refuses an option it does not know with its usage on standard error, nothing on standard
# output and exit 2, before doing anything else.
status=0
err=$(mktemp)
trap 'rm -f "$err"' EXIT
for program in "$@"; do
    for help in -h --help; do
        out=$("$program" "$help" 2>"$err")
        code=$?
        [[ $code == 0 && -n $out ]] || { echo "$program $help: exit $code, printed: ${out:0:80}"; status=1; }
    done
    out=$("$program" --no-such-option 2>"$err")
    code=$?
    [[ $code == 2 && -z $out && -s $err ]] ||
        { echo "$program --no-such-option: exit $code, printed: ${out:0:80} $(head -c 80 "$err")"; status=1; }
done
exit $status
