// VtStringFormat: the formatting fronts of VtString bound to the current narrow and wide pages.
// Stands on the formatted text engine (VtFormat) and VtCharCode's current pages.
#include "foundation/VtString.h"

#include "foundation/VtFormat.h"

namespace Vantrel {

int32_t String_Format(char *destination, int32_t size, const char *format, ...) {
  const CodePageId narrow = CharCode_GetNarrowPage();
  const CodePageId wide = CharCode_GetWidePage();
  va_list arguments;
  va_start(arguments, format);
  const int32_t result = CharCode_FormatV(narrow, 0, narrow, wide, destination, size, format, arguments);
  va_end(arguments);
  return result;
}

int32_t String_FormatVW(wchar_t *destination, int32_t size, const wchar_t *format, va_list arguments) {
  const CodePageId narrow = CharCode_GetNarrowPage();
  const CodePageId wide = CharCode_GetWidePage();
  return CharCode_FormatV(wide, 1, narrow, wide, destination, size, format, arguments);
}

int32_t String_FormatW(wchar_t *destination, int32_t size, const wchar_t *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int32_t result = String_FormatVW(destination, size, format, arguments);
  va_end(arguments);
  return result;
}

int32_t String_FormatUnboundedW(wchar_t *destination, const wchar_t *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int32_t result = String_FormatVW(destination, 0x7FFFFFFF, format, arguments);
  va_end(arguments);
  return result;
}

} // namespace Vantrel
