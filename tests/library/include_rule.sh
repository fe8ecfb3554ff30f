#!/usr/bin/env bash
# The two floors, enforced: the library's logic and its public headers include only the
# C++ standard library, SIMD intrinsics headers and the project's own headers (platform/,
# the logic folders, the resource identifiers); platform/ knows nothing of the logic.
# Usage: include_rule.sh SOURCE_DIR
set -uo pipefail
cd "${1:?source dir}" || exit 2

standard='algorithm|any|array|atomic|barrier|bit|bitset|charconv|chrono|codecvt|compare|complex|concepts|condition_variable|coroutine|deque|exception|execution|expected|filesystem|format|forward_list|fstream|functional|future|initializer_list|iomanip|ios|iosfwd|iostream|istream|iterator|latch|limits|list|locale|map|memory|memory_resource|mutex|new|numbers|numeric|optional|ostream|queue|random|ranges|ratio|regex|scoped_allocator|semaphore|set|shared_mutex|source_location|span|sstream|stack|stdexcept|stop_token|streambuf|string|string_view|syncstream|system_error|thread|tuple|type_traits|typeindex|typeinfo|unordered_map|unordered_set|utility|valarray|variant|vector|version|cassert|cctype|cerrno|cfenv|cfloat|cinttypes|climits|clocale|cmath|csetjmp|csignal|cstdarg|cstddef|cstdint|cstdio|cstdlib|cstring|ctime|cuchar|cwchar|cwctype'
intrinsics='[a-z0-9]*intrin\.h|arm_neon\.h|cpuid\.h'
logic='core|expression|readers|search|publicfun|controls|media'

status=0
# check FOLDERS QUOTED_ALLOWED: every include of the files under FOLDERS obeys the rule.
check() {
  local folders=$1 quoted=$2 file line
  while IFS=: read -r file _ line; do
    if [[ $line =~ \#[[:space:]]*include[[:space:]]*\<([^>]+)\> ]]; then
      [[ ${BASH_REMATCH[1]} =~ ^($standard|$intrinsics)$ ]] && continue
    elif [[ $line =~ \#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      [[ ${BASH_REMATCH[1]} =~ ^($quoted)/ ]] && continue
    fi
    echo "include_rule: $file: $line"
    status=1
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' $folders --include='*.h' --include='*.cpp')
}
check "$(echo "$logic" | tr '|' ' ')" "$logic|platform|qelshare|resources"
check "include/qelshare" "qelshare"
# platform/ is free to include system and third-party headers, but none of the logic.
while IFS= read -r hit; do
  echo "include_rule: platform includes the logic above it: $hit"
  status=1
done < <(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($logic)/" platform)
[ $status -eq 0 ] && echo "include_rule: ok"
exit $status
