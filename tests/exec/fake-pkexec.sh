#!/bin/sh
# Stands in for pkexec in tests: TALVO_FAKE_PKEXEC says what happened at the authentication
# dialog. Allowed runs the program with its arguments, as pkexec does, and passes on its status.
case "${TALVO_FAKE_PKEXEC:-allow}" in
dismiss) exit 126 ;;
deny) exit 127 ;;
esac
exec "$@"
