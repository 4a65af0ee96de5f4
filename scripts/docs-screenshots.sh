#!/usr/bin/env bash
# Makes the screenshots in docs/ from the real program on the simulated broker: a fresh home,
# five Dax titles activated through the title selection, the main window with its monitor,
# the warning line, the quit question, the back-fill at start, the Dateninspektor and vqsview,
# the title management, and an outage of the connection. Runs on a virtual display with a small
# window manager.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh xvfb xauth openbox xdotool imagemagick
scripts/build.sh build >/dev/null

if [ -z "${VQS_IN_XVFB:-}" ]; then
    VQS_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" TRADOMIR_VQS_HOME="$work/home"
mkdir -p "$XDG_CONFIG_HOME/Tradomir" "$TRADOMIR_VQS_HOME"
printf '[VQSStart]\nVersionsHinweis=1\n' > "$XDG_CONFIG_HOME/Tradomir/Tradomir.ini"
printf '[Hauptfenster]\nTaskbar=1\n' > "$XDG_CONFIG_HOME/Tradomir/TradomirVQS.ini"

openbox >/dev/null 2>&1 &
sleep 1
build/bin/TradomirVQS >/dev/null 2>&1 &
program=$!
trap 'kill $program 2>/dev/null; wait $program 2>/dev/null; rm -rf "$work"' EXIT
sleep 3

# Captures the active window with its frame.
shoot() {
    import -frame -window "$(xdotool getactivewindow)" "$1"
}
# Clicks at a place of a window, in its own coordinates.
click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

main=$(xdotool search --name '^Tradomir VQS für Bravolt-API$' | head -1)
xdotool windowactivate --sync "$main"
xdotool key alt+a
sleep 2
dialog=$(xdotool getactivewindow)
click "$dialog" 36 68        # "Dax 30"
sleep 1
click "$dialog" 390 39       # the first title ...
xdotool keydown shift
click "$dialog" 390 111      # ... to the fifth
xdotool keyup shift
sleep 0.5
xdotool key alt+a            # "&Alle Kursarten aktivieren"
sleep 1
click "$dialog" 390 165      # one more, for paid prices only
click "$dialog" 70 517     # "&Bezahlt aktivieren"
sleep 0.5
shoot docs/titelauswahl.png
xdotool key Escape
sleep 1
xdotool windowactivate --sync "$main"
xdotool key alt+m
sleep 8
shoot docs/hauptfenster-monitor.png
xdotool windowactivate --sync "$main"
xdotool key alt+m
# A foreign file under a title's data file name: the warning line says so while it lasts.
victim=$(ls -t "$TRADOMIR_VQS_HOME/RealtimeData/Dax 30/"*.VQS | head -1)
mv "$victim" "$work/saved.VQS"
printf 'keine Kursdaten' > "$victim"
sleep 10
xdotool windowactivate --sync "$main"
shoot docs/warnzeile.png
mv "$work/saved.VQS" "$victim"
sleep 4
xdotool windowactivate --sync "$main"
xdotool key alt+F4
sleep 1
shoot docs/meldung.png
xdotool key Escape

# The back-fill at start: a busier market, so that there is a day of ticks to fetch.
kill "$program"
wait "$program" 2>/dev/null || true
printf '[Optionen]\nAutoDatenpflege=1\n' >> "$XDG_CONFIG_HOME/Tradomir/TradomirVQS.ini"
BRAVOLT_SIM_RATE=60 build/bin/TradomirVQS >/dev/null 2>&1 &
program=$!
progress=""
for _ in $(seq 1 50); do
    progress=$(xdotool search --name 'Datenpflege mit Bravolt' 2>/dev/null | head -1) && break
    sleep 0.2
done
sleep 2
xdotool windowactivate --sync "$progress"
shoot docs/datenpflege.png
# "Abbrechen" answers only while ticks are fetched: pressed until the question comes.
for _ in $(seq 1 100); do
    click "$progress" 365 150
    sleep 0.2
    [ "$(xdotool getactivewindow getwindowname)" = "Tradomir VQS" ] && break
done
shoot docs/datenpflege-abbrechen.png
xdotool key Return           # "Ja"

# The Dateninspektor: the file selection in the data folder, a title's ticks, zoomed in.
sleep 3
main=$(xdotool search --name '^Tradomir VQS für Bravolt-API$' | head -1)
xdotool windowactivate --sync "$main"
xdotool key alt+d
sleep 2
xdotool key Down             # the folder tree starts at the data folder: "Dax 30"
sleep 1
xdotool key Tab Down         # the first file
sleep 0.5
shoot docs/dateninspektor-auswahl.png
xdotool key Return
sleep 2
inspektor=$(xdotool getactivewindow)
shoot docs/dateninspektor.png
xdotool mousemove --window "$inspektor" 800 400 click 4 click 4 click 4 click 4
sleep 1
shoot docs/dateninspektor-zoom.png

# vqsview on a file of 5 million ticks (09:00 on, every 4 ms, a random walk).
awk 'BEGIN { srand(7); p = 100; for (i = 0; i < 5000000; i++) { t = 32400000 + i * 4;
       p += (rand() - 0.5) * 0.02; if (p < 1) p = 1;
       printf "2026-12-10T%02d:%02d:%02d.%03d,%.2f,%d\n", int(t / 3600000), int(t / 60000) % 60,
              int(t / 1000) % 60, t % 1000, p, int(rand() * 50) * 50 } }' > "$work/gross.csv"
gross=$(build/bin/vqstool import --root "$work" --folder Gross --wkn 710000 --name "Mercedes-Benz" \
        --exchange ETR "$work/gross.csv")
build/bin/vqsview "$gross" >/dev/null 2>&1 &
view=$!
sleep 4
shoot docs/vqsview-5-millionen.png
kill "$view"

# The title management: two titles back-filled from 00:00, one deleted, the options.
kill "$program"
wait "$program" 2>/dev/null || true
sed -i 's/^AutoDatenpflege=1$/AutoDatenpflege=0/' "$XDG_CONFIG_HOME/Tradomir/TradomirVQS.ini"
BRAVOLT_SIM_RATE=20 build/bin/TradomirVQS >/dev/null 2>&1 &
program=$!
sleep 3
main=$(xdotool search --name '^Tradomir VQS für Bravolt-API$' | head -1)
xdotool windowactivate --sync "$main"
xdotool key alt+v
sleep 1.5
verwaltung=$(xdotool getactivewindow)
click "$verwaltung" 127 64   # the first title ...
xdotool keydown shift
click "$verwaltung" 127 82   # ... and the second
xdotool keyup shift
sleep 0.5
shoot docs/titelverwaltung.png
xdotool key alt+p            # "Daten&pflege..."
sleep 1
shoot docs/titelverwaltung-datenpflege.png
xdotool key Return           # "Starten" from 00:00
for _ in $(seq 1 50); do
    progress=$(xdotool search --name 'Datenpflege mit Bravolt' 2>/dev/null | head -1) && break
    sleep 0.2
done
# Shot again until the window is painted (a white window is still busy with its first fetch).
for _ in $(seq 1 40); do
    shoot docs/titelverwaltung-fortschritt.png
    convert docs/titelverwaltung-fortschritt.png -format '%[fx:mean<0.9]' info: | grep -q 1 && break
    sleep 0.2
done
while xdotool search --name 'Datenpflege mit Bravolt' >/dev/null 2>&1; do sleep 0.5; done
xdotool windowactivate --sync "$verwaltung"
click "$verwaltung" 127 118  # the fourth title
xdotool key alt+l            # "&Löschen..."
sleep 1
shoot docs/titelverwaltung-loeschen.png
xdotool key Return           # "Ja"
sleep 1
xdotool windowactivate --sync "$verwaltung"
click "$verwaltung" 770 239  # "Einstellungen"
sleep 1
xdotool key alt+b            # " &Bezahlt-Kurse nicht aufzeichnen"
sleep 0.5
shoot docs/titelverwaltung-einstellungen.png
xdotool key Return           # "OK"
sleep 0.5
xdotool key alt+s            # "&Schließen"
sleep 1
xdotool windowactivate --sync "$main"
shoot docs/titelverwaltung-danach.png

# An outage: the broker drops the connection after 20 s and refuses logins for 30 s.
kill "$program"
wait "$program" 2>/dev/null || true
BRAVOLT_SIM_RATE=2 BRAVOLT_SIM_DROP_AFTER=20 BRAVOLT_SIM_DOWN_FOR=30 build/bin/TradomirVQS \
    >/dev/null 2>&1 &
program=$!
sleep 24
main=$(xdotool search --name '^Tradomir VQS für Bravolt-API$' | head -1)
xdotool windowactivate --sync "$main"
shoot docs/verbindung-unterbrochen.png
sleep 40                     # logins at +25 s and +35 s are refused, the one at +55 s is taken
xdotool windowactivate --sync "$main"
shoot docs/verbindung-wieder.png
echo "docs/titelauswahl.png docs/hauptfenster-monitor.png docs/warnzeile.png docs/meldung.png" \
    "docs/datenpflege.png docs/datenpflege-abbrechen.png docs/dateninspektor-auswahl.png" \
    "docs/dateninspektor.png docs/dateninspektor-zoom.png docs/vqsview-5-millionen.png" \
    "docs/titelverwaltung*.png docs/verbindung*.png"
