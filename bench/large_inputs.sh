#!/usr/bin/env bash
# Runs dwzliste on two large inputs and checks the list and the peak memory of each: a dump of
# more than 10,000,000 player lines, and one player line of 1 GiB. The list must be byte for
# byte what bench_expected_list makes from the same files, and the peak RSS at most
# 1.15 x input bytes + 16 MiB.
#
# Environment: LINES (10500000), LINE_BYTES (1073741824), BENCH_DIR (kept if given, otherwise a
# temporary directory that is removed at the end). Needs about 3 x the largest input free.
set -euo pipefail

readonly LINES="${LINES:-10500000}"
readonly LINE_BYTES="${LINE_BYTES:-1073741824}"
readonly RSS_INPUT_FACTOR=1.15
readonly RSS_SLACK_KIB=16384

die() {
  echo "large_inputs.sh: $*" >&2
  exit 2
}

cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
readonly BIN="$PWD/build-bench"

if [[ -n "${BENCH_DIR:-}" ]]; then
  mkdir -p -- "${BENCH_DIR}"
  work="$(cd -- "${BENCH_DIR}" && pwd)"
else
  work="$(mktemp -d "${TMPDIR:-/tmp}/dwzliste-large.XXXXXX")"
  trap "rm -rf -- '${work}'" EXIT
fi
free_kib="$(df -Pk -- "${work}" | awk 'NR == 2 {print $4}')"
((free_kib > 8 * 1024 * 1024)) || die "${work} has less than 8 GiB free"

FAILURES=0

# Runs the converter in dir, then checks its exit status, its list and its peak memory.
convert_and_check() {
  local name="$1" dir="$2"
  local input_bytes=$(($(wc -c <"${dir}/Spieler.sql") + $(wc -c <"${dir}/Vereine.sql")))
  local lines
  lines="$(wc -l <"${dir}/Spieler.sql")"
  "${BIN}/bench/bench_measure" -C "${dir}" -o "${dir}/results" -- "${BIN}/dwzliste"
  local seconds rss_kib status
  read -r seconds rss_kib status <"${dir}/results"
  local bound_kib
  bound_kib="$(awk "BEGIN {printf \"%d\", ${RSS_INPUT_FACTOR} * ${input_bytes} / 1024 + ${RSS_SLACK_KIB}}")"
  local list_ok=no
  if "${BIN}/bench/bench_expected_list" "${dir}" | cmp -s - "${dir}/DWZ.liste"; then list_ok=yes; fi
  printf '%s: %s player lines, %d input bytes, %s s, peak RSS %d KiB (bound %d KiB), ' \
    "${name}" "${lines}" "${input_bytes}" "${seconds}" "${rss_kib}" "${bound_kib}"
  printf 'status %s, list as expected: %s, %d list bytes\n' "${status}" "${list_ok}" \
    "$(wc -c <"${dir}/DWZ.liste")"
  if [[ "${status}" != 0 || "${list_ok}" != yes ]] || ((rss_kib > bound_kib)); then
    echo "FAIL  ${name}"
    FAILURES=$((FAILURES + 1))
  else
    echo "PASS  ${name}"
  fi
  rm -f -- "${dir}/DWZ.liste" "${dir}/Spieler.sql"
}

echo "== ${LINES} player lines"
"${BIN}/bench/bench_generate_dump" "${work}/many-lines" "${LINES}" 2600
convert_and_check "many lines" "${work}/many-lines"

echo "== one player line of ${LINE_BYTES} bytes"
mkdir -p "${work}/long-line"
{
  printf 'REPLACE INTO `dwz_vereine` VALUES ("12345","1","ABC","Schachklub M\xfcnchen");\r\n'
} >"${work}/long-line/Vereine.sql"
{
  printf 'REPLACE INTO `dwz_spieler` VALUES ("12345"'
  yes ',null,"M'$'\xfc''ller",1712' | tr -d '\n' | head -c "${LINE_BYTES}" || true
  printf ');\r\n'
} >"${work}/long-line/Spieler.sql"
convert_and_check "one long line" "${work}/long-line"

((FAILURES == 0)) || exit 1
echo "all checks passed"
