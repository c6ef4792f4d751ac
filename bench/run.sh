#!/usr/bin/env bash
# Times dwzliste against a plain file copy on generated dumps and checks the performance targets.
#
# Environment: PLAYERS (250000), CLUBS (2600), REPS (5), SEED (1), BENCH_DIR (kept if given,
# otherwise a temporary directory that is removed at the end).
set -euo pipefail

readonly PLAYERS="${PLAYERS:-250000}"
readonly CLUBS="${CLUBS:-2600}"
readonly REPS="${REPS:-5}"
readonly SEED="${SEED:-1}"
readonly MAX_RATIO_TO_COPY=2.0
readonly MAX_CLUB_SCALING_PERCENT=10
readonly RSS_INPUT_FACTOR=1.15
readonly RSS_SLACK_KIB=16384
# Shell quoting stays inside the single command string handed to sh.
readonly COPY_COMMAND='cat Spieler.sql Vereine.sql > copy && sync copy'

die() {
  echo "run.sh: $*" >&2
  exit 2
}

build() {
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
  cmake --build build-bench -j2
}

# Prints the absolute work directory; both datasets live below it so that the copy and the
# converter always write to the same filesystem.
make_work_dir() {
  if [[ -n "${BENCH_DIR:-}" ]]; then
    mkdir -p -- "${BENCH_DIR}"
    (cd -- "${BENCH_DIR}" && pwd)
  else
    mktemp -d "${TMPDIR:-/tmp}/dwzliste-bench.XXXXXX"
  fi
}

input_bytes() {
  local dir="$1"
  echo $(($(wc -c <"${dir}/Spieler.sql") + $(wc -c <"${dir}/Vereine.sql")))
}

# Appends one "seconds rss_kib status" line to RESULTS; stops the run if the command failed,
# since timings of a failed run say nothing.
measure() {
  local dir="$1" results="$2" log="$3"
  shift 3
  "${MEASURE}" -C "${dir}" -o "${results}" -- "$@" >>"${log}" 2>&1
  local status
  status="$(tail -n 1 "${results}" | awk '{print $3}')"
  if [[ "${status}" != 0 ]]; then
    tail -n 20 "${log}" >&2 || true
    die "'$*' in ${dir} exited with status ${status}"
  fi
}

# Alternates the two commands so that drift in machine load hits both alike. The untimed sync
# keeps writeback of an earlier run's output from landing inside the next measurement.
run_series() {
  local dir="$1"
  rm -f -- "${dir}/copy.results" "${dir}/dwzliste.results" "${dir}/run.log"
  local rep
  for ((rep = 1; rep <= REPS; rep++)); do
    rm -f -- "${dir}/copy"
    sync
    measure "${dir}" "${dir}/copy.results" "${dir}/run.log" sh -c "${COPY_COMMAND}"
    rm -f -- "${dir}/DWZ.liste"
    sync
    measure "${dir}" "${dir}/dwzliste.results" "${dir}/run.log" "${DWZLISTE}"
    [[ -f "${dir}/DWZ.liste" ]] || die "dwzliste wrote no DWZ.liste in ${dir}"
  done
}

median_seconds() {
  awk '{print $1}' "$1" | sort -g |
    awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

peak_rss_kib() {
  awk 'BEGIN {m = 0} $2 > m {m = $2} END {print m}' "$1"
}

# Arithmetic and comparisons go through awk because bash only knows integers.
calc() {
  awk "BEGIN {printf \"%.6f\\n\", $1}"
}

is_true() {
  awk "BEGIN {exit !($1)}"
}

FAILURES=0

verdict() {
  local condition="$1" text="$2"
  if is_true "${condition}"; then
    echo "PASS  ${text}"
  else
    echo "FAIL  ${text}"
    FAILURES=$((FAILURES + 1))
  fi
}

prepare_dataset() {
  local dir="$1" clubs="$2"
  rm -rf -- "${dir}"
  "${GENERATE}" "${dir}" "${PLAYERS}" "${clubs}" "${SEED}"
}

# Prints "copy_median dwzliste_median peak_rss_kib input_bytes" for one dataset.
summarize() {
  local dir="$1"
  echo "$(median_seconds "${dir}/copy.results") $(median_seconds "${dir}/dwzliste.results")" \
    "$(peak_rss_kib "${dir}/dwzliste.results") $(input_bytes "${dir}")"
}

report_dataset() {
  local label="$1" copy="$2" convert="$3" rss="$4" bytes="$5"
  local ratio bound
  ratio="$(calc "${convert} / ${copy}")"
  bound="$(calc "${RSS_INPUT_FACTOR} * ${bytes} / 1024 + ${RSS_SLACK_KIB}")"
  printf '%s: input %.1f MiB, copy %.4f s, dwzliste %.4f s (medians), peak RSS %.1f MiB\n' \
    "${label}" "$(calc "${bytes} / 1048576")" "${copy}" "${convert}" "$(calc "${rss} / 1024")"
  verdict "${ratio} <= ${MAX_RATIO_TO_COPY}" \
    "${label}: time dwzliste/copy $(printf '%.3f' "${ratio}") <= ${MAX_RATIO_TO_COPY}"
  verdict "${rss} <= ${bound}" \
    "$(printf '%s: peak RSS %d KiB <= %.0f KiB (1.15 x input + 16 MiB)' "${label}" "${rss}" \
      "${bound}")"
}

main() {
  [[ "${REPS}" =~ ^[1-9][0-9]*$ ]] || die "REPS must be a positive integer"
  cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.."
  build

  readonly DWZLISTE="${PWD}/build-bench/dwzliste"
  readonly GENERATE="${PWD}/build-bench/bench/bench_generate_dump"
  readonly MEASURE="${PWD}/build-bench/bench/bench_measure"
  local tool
  for tool in "${DWZLISTE}" "${GENERATE}" "${MEASURE}"; do
    [[ -x "${tool}" ]] || die "missing ${tool}"
  done

  local work
  work="$(make_work_dir)"
  if [[ -z "${BENCH_DIR:-}" ]]; then
    # shellcheck disable=SC2064  # the path is fixed now and must be expanded now
    trap "rm -rf -- '${work}'" EXIT
  fi
  local clubs_many=$((CLUBS * 10))
  local base="${work}/clubs-${CLUBS}" many="${work}/clubs-${clubs_many}"

  echo "work dir ${work}: ${PLAYERS} players, ${CLUBS} and ${clubs_many} clubs, ${REPS} runs each"
  prepare_dataset "${base}" "${CLUBS}"
  run_series "${base}"
  prepare_dataset "${many}" "${clubs_many}"
  run_series "${many}"

  local base_copy base_convert base_rss base_bytes many_copy many_convert many_rss many_bytes
  read -r base_copy base_convert base_rss base_bytes <<<"$(summarize "${base}")"
  read -r many_copy many_convert many_rss many_bytes <<<"$(summarize "${many}")"

  echo
  report_dataset "${CLUBS} clubs" "${base_copy}" "${base_convert}" "${base_rss}" "${base_bytes}"
  report_dataset "${clubs_many} clubs" "${many_copy}" "${many_convert}" "${many_rss}" \
    "${many_bytes}"
  local change copy_change
  change="$(calc "(${many_convert} - ${base_convert}) / ${base_convert} * 100")"
  copy_change="$(calc "(${many_copy} - ${base_copy}) / ${base_copy} * 100")"
  verdict "${change} < ${MAX_CLUB_SCALING_PERCENT}" \
    "$(printf 'dwzliste time change with 10x clubs %+.1f %% < %s %% (copy: %+.1f %%)' \
      "${change}" "${MAX_CLUB_SCALING_PERCENT}" "${copy_change}")"

  if ((FAILURES > 0)); then
    echo "${FAILURES} target(s) missed"
    exit 1
  fi
  echo "all targets met"
}

main "$@"
