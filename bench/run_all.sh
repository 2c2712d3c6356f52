#!/bin/sh
# Runs every benchmark of Dalvenor and writes the figures, with their targets, to
# bench/results.md (also printed).
#
#   bench/run_all.sh
#
# Builds the program in Release into build-bench (or DALVENOR_BENCH_BUILD) when needed, then:
#   1. loads a 1,000,000-line GB18030 tips file (bench_tips_load);
#   2. on a virtual desktop (Xvfb, openbox, tint2), runs Dalvenor and Conky showing the same
#      three lines side by side and measures CPU time, wake-ups and memory of both over
#      BENCH_DURATION seconds (default 60) after BENCH_SETTLE seconds (default 5);
#   2b. the same under picom (-c --backend xrender, no configuration file), Conky on an ARGB
#      visual (conky/countdown_argb.conf), where Dalvenor draws with per-pixel alpha;
#   3. times the start to the mapped window (median of BENCH_STARTUP_RUNS, default 7), of
#      Dalvenor, Conky and a bare Qt Widgets window (the toolkit's own floor);
#   3b. idle figures of one program before and after arming a 方式二 countdown through
#      "附加功能" and closing the window (its power service a logind mock on a private bus);
#   4. counts the instructions of the idle program per second under callgrind (one tick a
#      second); BENCH_CALLGRIND=0 skips it.
# The program runs with HOME and XDG_* in a temporary folder, TZ=Asia/Shanghai and no D-Bus
# session address. To compare a setting or another build:
#   BENCH_ENV="QT_ACCESSIBILITY=0 -SOME_VAR" BENCH_PROGRAM=/other/bin/dalvenor \
#       BENCH_RESULTS=/tmp/other.md bench/run_all.sh
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
bench="$root/bench"
build=${DALVENOR_BENCH_BUILD:-$root/build-bench}
duration=${BENCH_DURATION:-60}
settle=${BENCH_SETTLE:-5}
startup_runs=${BENCH_STARTUP_RUNS:-7}
results=${BENCH_RESULTS:-$bench/results.md}

for candidate in python3 /usr/bin/python3; do
    if "$candidate" -c 'import Xlib' 2>/dev/null; then
        python=$candidate
        break
    fi
done
[ -n "${python:-}" ] || { echo "run_all: python3 with Xlib (python3-xlib) is needed" >&2; exit 1; }
# The armed-idle figures also need D-Bus and the logind mock (python3-dbusmock).
power_python=$python
for candidate in python3 /usr/bin/python3; do
    if "$candidate" -c 'import Xlib, dbus, dbusmock' 2>/dev/null; then
        power_python=$candidate
        break
    fi
done

# --- build -----------------------------------------------------------------------------------
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
fi
cmake --build "$build" --target dalvenor bench_tips_load bench_skin_apply bench_qt_floor
program=${BENCH_PROGRAM:-$build/bin/dalvenor}

# --- isolated environment --------------------------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/dalvenor-bench.XXXXXX")
out="$work/results"
mkdir -p "$out" "$work/home/.config" "$work/home/.local/share" "$work/home/.cache" \
    "$work/home/.local/state" "$work/runtime"
chmod 700 "$work/runtime"
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_STATE_HOME="$HOME/.local/state"
export XDG_RUNTIME_DIR="$work/runtime"
export TZ=Asia/Shanghai
unset DBUS_SESSION_BUS_ADDRESS

env_args=""
for item in ${BENCH_ENV:-}; do
    env_args="$env_args --env $item"
done

desktop_state="$work/desktop.state"
XVFB_PID= OPENBOX_PID= TINT2_PID=
stop_desktop() {
    if [ -x "$root/scripts/virtual_desktop.sh" ]; then
        "$root/scripts/virtual_desktop.sh" stop "$desktop_state" >/dev/null 2>&1 || true
    else
        for pid in $TINT2_PID $OPENBOX_PID $XVFB_PID; do
            kill "$pid" 2>/dev/null || true
        done
    fi
}
cleanup() {
    stop_desktop
    # With no session address libdbus starts a session bus of its own for the display; it
    # is ours, found through the temporary HOME.
    for file in "$HOME"/.dbus/session-bus/*; do
        [ -f "$file" ] || continue
        bus_pid=$(sed -n 's/^DBUS_SESSION_BUS_PID=//p' "$file")
        [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- 1. tips file ------------------------------------------------------------------------------
echo "== Loading a 1,000,000-line tips file"
"$build/bench/bench_tips_load" --lines 1000000 --runs 5 | tee "$out/tips_load.txt"

# --- desktop ---------------------------------------------------------------------------------
if [ -x "$root/scripts/virtual_desktop.sh" ]; then
    "$root/scripts/virtual_desktop.sh" start "$desktop_state" >/dev/null
    . "$desktop_state"
else
    displayfile="$work/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
    XVFB_PID=$!
    tries=0
    until [ -s "$displayfile" ]; do
        tries=$((tries + 1))
        [ $tries -gt 200 ] && { echo "run_all: Xvfb did not start" >&2; exit 1; }
        sleep 0.05
    done
    DISPLAY=:$(tr -d '\n ' <"$displayfile")
    export DISPLAY
    openbox --sm-disable >/dev/null 2>&1 &
    OPENBOX_PID=$!
    sleep 1
    tint2 >/dev/null 2>&1 &
    TINT2_PID=$!
    sleep 1
fi
export DISPLAY

conky_tips="$work/tips-utf8.txt"
iconv -f GB18030 -t UTF-8 "$(dirname "$program")/ral.txt" >"$conky_tips" 2>/dev/null ||
    iconv -f GB18030 -t UTF-8 "$root/data/ral.txt" >"$conky_tips"

# shellcheck disable=SC2086 # env_args holds separate words on purpose
{
    echo "== Dalvenor and Conky side by side, ${duration} s after ${settle} s"
    "$python" "$bench/dalvenor_bench.py" side-by-side --dalvenor "$program" $env_args \
        --conky-config "$bench/conky/countdown.conf" --conky-tips "$conky_tips" \
        --settle "$settle" --duration "$duration" --json "$out/side_by_side.json"

    if command -v picom >/dev/null 2>&1; then
        echo "== Under picom: Dalvenor and Conky (ARGB visual) side by side, ${duration} s after ${settle} s"
        "$python" "$bench/dalvenor_bench.py" side-by-side --compositor picom \
            --dalvenor "$program" $env_args --conky-config "$bench/conky/countdown_argb.conf" \
            --conky-tips "$conky_tips" --settle "$settle" --duration "$duration" \
            --json "$out/composited.json" ||
            echo "run_all: the compositor measurement failed; left out of the table" >&2
    fi

    echo "== Idle, then with a 方式二 countdown armed and the window hidden, ${duration} s each"
    "$power_python" "$bench/dalvenor_bench.py" armed-idle --dalvenor "$program" $env_args \
        --settle "$settle" --duration "$duration" --json "$out/armed_idle.json" ||
        echo "run_all: armed idle measurement failed; left out of the table" >&2

    echo "== Start to mapped window"
    "$python" "$bench/dalvenor_bench.py" startup --dalvenor "$program" $env_args \
        --conky-config "$bench/conky/countdown.conf" --conky-tips "$conky_tips" \
        --runs "$startup_runs" --floor "$build/bench/bench_qt_floor" --json "$out/startup.json"

    echo "== 附加功能: menu click to map, CPU while the version notes scroll, after hiding"
    "$python" "$bench/addins_bench.py" --dalvenor "$program" $env_args --duration 20 \
        --json "$out/addins.json" ||
        echo "run_all: the 附加功能 measurement failed; left out" >&2

    echo "== Skins: putting one on with every window open; private memory with one in use"
    QT_QPA_PLATFORM=xcb "$build/bench/bench_skin_apply" "$(dirname "$program")" --rounds 10 |
        tee "$out/skin_apply.txt" || echo "run_all: skin measurement failed; left out" >&2
    "$python" "$bench/skin_memory.py" --dalvenor "$program" --settle "$settle" \
        --json "$out/skin_memory.json" | tee "$out/skin_memory.txt" ||
        echo "run_all: skin memory measurement failed; left out" >&2

    if [ "${BENCH_CALLGRIND:-1}" != 0 ] && command -v valgrind >/dev/null 2>&1; then
        echo "== Instructions per second under callgrind"
        mkdir -p "$work/callgrind"
        "$python" "$bench/dalvenor_bench.py" tick-cost --dalvenor "$program" $env_args \
            --workdir "$work/callgrind" --json "$out/tick_cost.json" ||
            echo "run_all: callgrind measurement failed; left out of the table" >&2
    fi

    # Real time: about 2 minutes (a minute of the reminder running, then one whole slide).
    if [ "${BENCH_CAUTION:-1}" != 0 ]; then
        echo "== Study reminder: between showings, and one whole slide"
        "$python" "$bench/caution_bench.py" --program "$program" --json "$out/caution.json" |
            tee "$out/caution.txt" ||
            echo "run_all: reminder measurement failed; left out" >&2
    fi
}

stop_desktop

commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
if ! git -C "$root" diff --quiet HEAD -- src 2>/dev/null; then
    commit="$commit + uncommitted changes in src"
fi
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
header="# Dalvenor benchmark results\n\n"
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null)
header="$header- Date: $(date -u '+%Y-%m-%d %H:%M UTC'); commit $commit; $(basename "$build") (${build_type:-unknown build type})\n"
header="$header- Machine: ${cpu:-unknown CPU}, $(nproc) CPUs; virtual desktop Xvfb + openbox + tint2\n"
case "$program" in
"$root"/*) shown_program=${program#"$root"/} ;;
*) shown_program=$(basename "$program") ;;
esac
header="$header- Program: $shown_program${BENCH_ENV:+, environment: $BENCH_ENV}\n"
header="$header- Side by side: ${duration} s of wall time after ${settle} s of settling;"
header="$header CPU is the sum over threads of schedstat, wake-ups the voluntary context switches\n\n"
echo "== Results"
"$python" "$bench/dalvenor_bench.py" report --dir "$out" --out "$results" --header "$header"
if [ -s "$out/caution.txt" ]; then
    {
        printf '\n## Study reminder (targets: slide <= 3 %% of one core, between showings <= 1.2 wake-ups/s)\n\n'
        sed 's/^/- /' "$out/caution.txt"
    } >>"$results"
fi
echo "Written to $results"
