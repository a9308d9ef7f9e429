#!/usr/bin/env bash
# Prepares a demo site on the virtual 1-Wire bus, so that the program shows itself at work on its
# first start: three compartments, three loggers programmed three weeks ago and read since, a
# power cut that warms every compartment, one logger due for reading and one urgent.
#
#   scripts/demo-site.sh nordalis-cli --home DIR --registry FILE --bus virtual
#
# The bench's clock runs three weeks ahead of the wall clock afterwards (the desktop program and
# nordalis-cli both count time from it on the virtual bus).
set -euo pipefail
CLI=("$@")
say() { printf 'demo: %s\n' "$*" >&2; }
cli() { "${CLI[@]}" "$@" >/dev/null; }

"${CLI[@]}" param get LocationID -1 | grep -qx -- -1 && cli init --site 1001 --description "Demo cold store"
cli param set ReadHoursBeforeOverflow 48

# The compartments, in reading order.
cli structure add-compartment --description "Cold room"
cli structure add-compartment --description "Freezer"
cli structure add-compartment --description "Pharmacy fridge"

cli sim add-cable
# The room swings 2 degrees a day around 4 °C; the freezer sits 24 degrees below it, the pharmacy
# fridge one above.
cli sim profile --base 4 --swing 2 --peak-hour 15 --noise 0.2 --seed 7
cold=$("${CLI[@]}" sim add-logger --variant G)
cli sim remove "$cold"
freezer=$("${CLI[@]}" sim add-logger --variant G)
cli sim profile --logger "$freezer" --offset -24
cli sim remove "$freezer"
fridge=$("${CLI[@]}" sim add-logger --variant Z)
cli sim profile --logger "$fridge" --offset 1
cli sim remove "$fridge"

# program ROM ROOM POSITION DESCRIPTION RATE LOW HIGH
program() {
  cli sim insert "$1"
  cli program --room "$2" --position "$3" --description "$4" --rate "$5" --low "$6" --high "$7" --rollover
  cli sim remove "$1"
}
# read_logger ROM: read it as on the desktop, then import the logger file into the database.
read_logger() {
  cli sim insert "$1"
  cli read
  cli sim remove "$1"
  cli import
}

say "programming three loggers"
program "$cold" 1 1 "Shelf by the door" 8 2 8             # memory full 11 days after a reading
program "$freezer" 2 1 "Freezer chest" 30 -25 -15         # after 42 days
program "$fridge" 3 1 "Vaccine shelf" 10 2 8              # after 14 days

# A power cut of three hours on the fifth day: every compartment warms by 7 degrees.
start=$("${CLI[@]}" sim show | sed -n 's/^simulation time \([0-9-]* [0-9:]*\) UTC.*/\1/p' | head -n 1)
spell=$(date -u -d "$start UTC + 4 days" +%Y-%m-%d)
cli sim profile --excursion "$spell 13:00,3h,+7"

say "a week, readings, another week, readings, another week"
cli sim advance 7d
for l in "$cold" "$freezer" "$fridge"; do read_logger "$l"; done
cli sim advance 6d
read_logger "$freezer"
cli sim advance 7d
read_logger "$freezer"

# The data display opens on the week with the power cut.
from=$(date -u -d "$start UTC + 2 days" '+%Y-%m-%d 00:00:00')
to=$(date -u -d "$start UTC + 9 days" '+%Y-%m-%d 00:00:00')
cli param set ChartDateFrom "$from"
cli param set ChartDateTo "$to"
cli param set ChartTimeFormat 2
say "ready: the cold-room logger is overdue, the pharmacy fridge due within two days"
