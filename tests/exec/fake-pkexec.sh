#!/bin/sh
# Stands in for pkexec in tests: TALVO_FAKE_PKEXEC says what happened at the authentication
# dialog. Allowed runs the program with its arguments and the stdin it was given, as pkexec does,
# and passes on its status. With TALVO_FAKE_PKEXEC_LOG set, each call's command line is appended
# there, as the real tool logs it.
if [ -n "$TALVO_FAKE_PKEXEC_LOG" ]; then
    printf 'COMMAND=%s\n' "$*" >>"$TALVO_FAKE_PKEXEC_LOG"
fi
case "${TALVO_FAKE_PKEXEC:-allow}" in
dismiss) exit 126 ;;
deny) exit 127 ;;
esac
exec "$@"
