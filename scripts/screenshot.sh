#!/usr/bin/env bash
# Makes a PNG of the whole screen with the program showing Northwind's Customers table and the
# current customer's picture in the preview pane, on a virtual display of its own. With
# --context-menu the CustomerID column is picked and the grid's context menu is open.
#   scripts/screenshot.sh [OUT.png]                  (default docs/screenshots/main-window.png)
#   scripts/screenshot.sh --context-menu [OUT.png]   (default docs/screenshots/context-menu.png)
#   scripts/screenshot.sh --find [OUT.png]           (default docs/screenshots/find-dialog.png):
#     the Search dialog after Find Next for "market" in CompanyName
#   scripts/screenshot.sh --field-edit [OUT.png]     (default docs/screenshots/field-edit.png)
#   scripts/screenshot.sh --name-dialog [OUT.png]    (default docs/screenshots/name-dialog.png)
#   scripts/screenshot.sh --set-password [OUT.png]   (default docs/screenshots/set-password.png)
#   scripts/screenshot.sh --about [OUT.png]          (default docs/screenshots/about.png)
#   scripts/screenshot.sh --table-chooser [OUT.png]  (default docs/screenshots/table-chooser.png):
#     the Open command's table chooser with Customers picked
#   scripts/screenshot.sh --password-prompt [OUT.png] (default docs/screenshots/password-prompt.png):
#     the prompt that opening a copy protected by the password "kartei" brings up, typed in
#   scripts/screenshot.sh --open-progress [OUT.png] (default docs/screenshots/open-progress.png):
#     the progress of opening a table of 1.5 million records, made for it with mdbtool (slow)
#   scripts/screenshot.sh --wizard [OUT.png]        (default docs/screenshots/wizard.png): the
#     new-database wizard's pages as wizard-new.png ... wizard-fields.png, and wizard-done.png
#     with the database it made from the example template Layout/Employee.mds open
#   scripts/screenshot.sh --help-page [OUT.png]     (default docs/screenshots/help.png): the
#     top of the help page Tessor.html as a browser shows it (needs chromium)
#   scripts/screenshot.sh --all                      every picture above, at its default place
#     (the help page only where chromium is installed)
# BUILD_DIR picks the build folder (default build); TESSOR_SHARED_DIR the shared test data.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ "${1:-}" == --all ]]; then
  for picture in "" --context-menu --find --field-edit --name-dialog --set-password --about \
    --table-chooser --password-prompt --open-progress --wizard; do
    "$0" $picture
  done
  if command -v chromium >/dev/null || command -v chromium-browser >/dev/null; then
    "$0" --help-page
  fi
  exit 0
fi
if [[ "${1:-}" == --help-page ]]; then
  out=$(realpath -m "${2:-docs/screenshots/help.png}")
  browser=$(command -v chromium || command -v chromium-browser || true)
  [[ -n $browser ]] || { echo "screenshot.sh: no chromium; apt-get install chromium" >&2; exit 1; }
  page=$(realpath "${BUILD_DIR:-build}/bin/Tessor.html")
  profile=$(mktemp -d)
  trap 'rm -rf "$profile"' EXIT
  "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$profile" \
    --window-size=1000,1400 --screenshot="$out" "file://$page" 2>/dev/null
  convert "$out" -strip -colors 256 "PNG8:$out"
  echo "$out: $page"
  exit 0
fi
mode=()
default_out=docs/screenshots/main-window.png
case "${1:-}" in
  --context-menu | --field-edit | --name-dialog | --set-password | --about | --table-chooser | \
    --open-progress | --wizard)
    mode=("$1")
    default_out=docs/screenshots/${1#--}.png
    shift
    ;;
  --find)
    mode=(--find CompanyName market)
    default_out=docs/screenshots/find-dialog.png
    shift
    ;;
  --password-prompt)
    mode=(--password-prompt kartei)
    default_out=docs/screenshots/password-prompt.png
    shift
    ;;
esac
out=$(realpath -m "${1:-$default_out}")
build=${BUILD_DIR:-build}
shared=${TESSOR_SHARED_DIR:-$(pwd)/../shared}
source_db="$shared/testdata/mdb/jet4-northwind-statdata.mdb"
[[ -f "$source_db" ]] || { echo "screenshot.sh: $source_db not found" >&2; exit 1; }
for tool in xvfb-run convert mdb-export; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: no $tool; run scripts/deps.sh" >&2; exit 1; }
done

[[ -f "$build/CMakeCache.txt" ]] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessor_screenshot KvImgIO KvScaleRot KvCardIO installed_databases mdbtool >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The program holds the file it shows and may write to it: it works on a copy.
cp "$source_db" "$work/Northwind.mdb"
chmod u+w "$work/Northwind.mdb"

# One picture per customer, named by the CustomerID column's values.
mkdir "$work/photos"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
colours=(3a6ea5 a5523a 3aa56e 8a3aa5 a59a3a 3a9aa5)
i=0
while read -r id; do
  c=${colours[i % ${#colours[@]}]}
  args=(-size 320x240 "gradient:#$c-#f2f2f2")
  [[ -f "$font" ]] && args+=(-font "$font" -gravity center -pointsize 64 -fill white
    -stroke black -strokewidth 2 -annotate 0 "$id")
  convert "${args[@]}" "$work/photos/$id.jpg"
  i=$((i + 1))
done < <(mdb-export -H "$work/Northwind.mdb" Customers | cut -d, -f1 | tr -d '"' | head -12)

# The prompt comes up only for a database with a password.
if [[ "${mode[0]:-}" == --password-prompt ]]; then
  "$build/bin/mdbtool" sql "$work/Northwind.mdb" "ALTER DATABASE PASSWORD ${mode[1]} NULL" >/dev/null
fi
database=$work/Northwind.mdb
table=Customers
if [[ "${mode[0]:-}" == --open-progress ]]; then
  # Only a table that takes a while to read shows its progress.
  database=$work/Large.mdb
  table=Cards
  "$build/bin/mdbtool" create "$database" >/dev/null
  "$build/bin/mdbtool" sql "$database" \
    "CREATE TABLE Cards (Id LONG, Name TEXT(50), City TEXT(30), Photo TEXT(100))" >/dev/null
  awk 'BEGIN { print "Id,Name,City,Photo"; for (i = 1; i <= 1500000; i++)
    printf "%d,Card holder %d,%s,photos/card%d.jpg\n", i, i, (i % 7 ? "Paris" : "Berlin"), i }' \
    >"$work/large.csv"
  "$build/bin/mdbtool" import "$database" Cards "$work/large.csv" >/dev/null
  rm "$work/large.csv"
fi
mkdir -p "$(dirname "$out")"
xvfb-run -a -s '-screen 0 1280x800x24' \
  "$build/bin/tessor_screenshot" "$out" "$database" "$table" CustomerID \
  "$work/photos" .jpg 3 "${mode[@]}"
# A palette of 256 colours shows the same and takes a third less room in the repository.
if [[ "${mode[0]:-}" == --wizard ]]; then
  pictures=("${out%.png}"-*.png)
else
  pictures=("$out")
fi
for picture in "${pictures[@]}"; do
  convert "$picture" -strip -colors 256 "PNG8:$picture"
done
