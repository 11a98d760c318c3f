#!/usr/bin/env bash
# Rewrites UTF-16 literals and string types in the given C++ files into the
# forms that compile against both the stand-in (char16_t) and the Windows
# headers (wchar_t): u"x" -> OLESTR("x"), u'x' -> WCHAR('x'),
# std::u16string(_view) -> vexo::platform::WideString(View).
#   scripts/wide-literals.sh FILE...
set -euo pipefail
perl -pi -e '
  s/(?<![A-Za-z0-9_%])u"((?:[^"\\]|\\.)*)"/OLESTR("$1")/g;
  s/(?<![A-Za-z0-9_%])u\x27((?:[^\x27\\]|\\.)+)\x27/WCHAR(\x27$1\x27)/g;
  s/std::u16string_view/vexo::platform::WideStringView/g;
  s/std::u16string/vexo::platform::WideString/g;
  s/\bchar16_t\b/WCHAR/g;
' "$@"
