#!/usr/bin/env bash
# How vqsrecorder scales with the number of titles: for each case it starts the recorder on a
# generated home, lets it record, and prints resident memory (after 10 s and at the end), CPU
# (share of one core), records a second written, the age of the newest record, the time until it
# says it records, until the first data file and until every data file is there, and the time a
# SIGTERM takes to end it.
#
#   bench/scale.sh [build folder]            (default: build)
#   SCALE_TITLES="1000 10000" SCALE_KINDS="paid all" SCALE_RATES="1 5" SCALE_SECONDS=60
#   SCALE_DEFINED=900000     (inactive titles besides, up to that many definitions)
#   SCALE_SOURCE=fix         (quotes from vqsfeed in a process of its own, over FIX on loopback,
#                             so that the figures are the recorder's alone; default: the built-in
#                             simulated broker, whose cost counts as the recorder's)
#
# Not a test: the figures depend on the machine. Run it on a quiet one.
set -euo pipefail

build=${1:-build}
recorder=$build/bin/vqsrecorder
tool=$build/bench/scale_tool
feed=$build/bin/vqsfeed
source=${SCALE_SOURCE:-simulation}
for program in "$recorder" "$tool" "$feed"; do
    [[ -x $program ]] || { echo "missing $program: build it first (scripts/build.sh $build)" >&2; exit 2; }
done
titles_list=${SCALE_TITLES:-"1000 10000"}
kinds_list=${SCALE_KINDS:-"paid all"}
rates_list=${SCALE_RATES:-"1 5"}
seconds=${SCALE_SECONDS:-60}
tick=$(getconf CLK_TCK)

rss_mb() { awk '/^VmRSS:/ { printf "%.0f", $2 / 1024 }' "/proc/$1/status" 2>/dev/null || echo -; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

echo "source: $source"
printf '%-6s %-5s %-4s | %8s %8s | %6s | %10s | %9s | %9s | %10s | %9s | %8s\n' \
    titles kinds rate "MB@10s" "MB end" "CPU %" "records/s" "newest s" "recording" "first file" \
    "all files" "SIGTERM"
for titles in $titles_list; do
    for kinds in $kinds_list; do
        for rate in $rates_list; do
            home=$(mktemp -d)
            mkdir -m 700 -p "$home/config" "$home/run"
            "$tool" home "$home/vqs" "$titles" "$kinds" ${SCALE_DEFINED:-}
            feed_pid=
            if [[ $source == fix ]]; then
                BRAVOLT_SIM_RATE=$rate "$feed" --port 0 --store-dir "$home/feed" 2>"$home/feed.log" &
                feed_pid=$!
                port=
                for _ in $(seq 100); do
                    port=$(grep -o 'auf Port [0-9]*' "$home/feed.log" | grep -o '[0-9]*$' || true)
                    [[ -n $port ]] && break
                    sleep 0.1
                done
                [[ -n $port ]] || { echo "vqsfeed did not start: $(cat "$home/feed.log")" >&2; exit 1; }
                mkdir -p "$home/config/Tradomir"
                printf '[Kursquelle]\nArt=FIX\nHost=127.0.0.1\nPort=%s\n' "$port" \
                    >"$home/config/Tradomir/TradomirVQS.ini"
            fi
            files_wanted=$titles
            [[ $kinds == all ]] && files_wanted=$((3 * titles))
            start=$(now)
            TRADOMIR_VQS_HOME=$home/vqs XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run \
                BRAVOLT_SIM_RATE=$rate "$recorder" >"$home/log" 2>&1 &
            pid=$!
            recording=- first=- all=-
            for _ in $(seq 600); do
                kill -0 "$pid" 2>/dev/null || break
                [[ $recording == - ]] && grep -q "Titel werden aufgezeichnet" "$home/log" &&
                    recording="$(since "$start") s"
                # The data folder may not be there yet.
                files=$({ find "$home/vqs/RealtimeData" -name '*.VQS' 2>/dev/null || true; } | wc -l)
                [[ $first == - && $files -gt 0 ]] && first="$(since "$start") s"
                if [[ $files -ge $files_wanted ]]; then
                    all="$(since "$start") s"
                    break
                fi
                sleep 0.05
            done
            sleep 10
            rss10=$(rss_mb "$pid")
            read -r _ records0 _ < <("$tool" probe "$home/vqs/RealtimeData")
            ticks0=$(cpu_ticks "$pid")
            t0=$(now)
            sleep $((seconds > 10 ? seconds - 10 : 1))
            ticks1=$(cpu_ticks "$pid")
            read -r _ records1 age < <("$tool" probe "$home/vqs/RealtimeData")
            elapsed=$(since "$t0")
            rss_end=$(rss_mb "$pid")
            stop=$(now)
            kill -TERM "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
            ended="$(since "$stop") s"
            if [[ -n $feed_pid ]]; then
                kill -TERM "$feed_pid" 2>/dev/null || true
                wait "$feed_pid" 2>/dev/null || true
            fi
            awk -v t="$titles" -v k="$kinds" -v r="$rate" -v m10="$rss10" -v me="$rss_end" \
                -v c0="$ticks0" -v c1="$ticks1" -v hz="$tick" -v e="$elapsed" \
                -v r0="$records0" -v r1="$records1" -v age="$age" -v rec="$recording" \
                -v ff="$first" -v all="$all" -v se="$ended" \
                'BEGIN { printf "%-6s %-5s %-4s | %8s %8s | %6.0f | %10.0f | %9s | %9s | %10s | %9s | %8s\n",
                         t, k, r, m10, me, 100 * (c1 - c0) / hz / e, (r1 - r0) / e, age, rec, ff,
                         all, se }'
            if grep -q "Rückstand" "$home/log"; then grep "Rückstand" "$home/log" | tail -2 | sed 's/^/    /'; fi
            rm -rf "$home"
        done
    done
done
