#!/bin/sh
# A user's first start: when the system directory holds no directory file yet, makes an empty
# one and, when a system information tool is installed, names it for the About box in
# system.reg. Files that exist are left as they are. The program never makes the directory file
# itself, so without this an installed copy could only report it missing.
set -e
# The directory is the user's own: others on the machine have the program, and so its key.
umask 077
tool="$(dirname "$(readlink -f "$0")")/orvandel-db"
database=$("$tool" where)
[ -e "$database" ] && exit 0
"$tool" init
[ -e "$(dirname "$database")/system.reg" ] && exit 0
if program=$(command -v hardinfo); then
    exec "$tool" sysinfo "$program"
fi
