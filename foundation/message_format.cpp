// The numbered-placeholder template form.
#include "foundation/message_format.h"

#include "foundation/format_writer.h"

namespace tav {

std::string formatMessageList(std::string_view templ, std::span<const FormatArg> args) {
  FormatWriter writer(args);
  size_t i = 0;
  while (i < templ.size()) {
    if (templ[i] == '%') {
      i = writer.writePercent(templ, i);
      if (i == FormatWriter::kStop)
        break;
      continue;
    }
    if (!writer.put(templ[i]))
      break;
    ++i;
  }
  return writer.result();
}

} // namespace tav
