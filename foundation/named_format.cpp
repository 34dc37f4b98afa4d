// The named-placeholder template form ("Error response for {method} {url}: {error}").
//
// Only the text is produced. The names, the "?"/"@" parts, the "!" flag and the type suffixes
// that may sit inside the braces would feed a structured description of the message, which no
// caller reads; they are skipped over as part of the name.
#include "foundation/format_writer.h"
#include "foundation/message_format.h"

namespace tav {
namespace {

void writeAsText(FormatWriter& writer, const FormatArg& arg) {
  switch (arg.kind()) {
  case FormatArg::Kind::Bool:
    writer.putCut(arg.boolean() ? "true" : "false");
    break;
  case FormatArg::Kind::Int32:
  case FormatArg::Kind::Int64:
    writer.putFormatted("%lld", static_cast<long long>(arg.asInt64()));
    break;
  case FormatArg::Kind::UInt32:
  case FormatArg::Kind::UInt64:
    writer.putFormatted("%llu", static_cast<unsigned long long>(arg.asUInt64()));
    break;
  case FormatArg::Kind::Double:
    writer.putFormatted("%f", arg.floating());
    break;
  case FormatArg::Kind::Char:
    writer.put(arg.character());
    break;
  case FormatArg::Kind::Text:
    writer.putCut(arg.text());
    break;
  }
}

void writeAsHex(FormatWriter& writer, const FormatArg& arg) {
  if (arg.kind() == FormatArg::Kind::Text || arg.kind() == FormatArg::Kind::Double) {
    writer.writeDefault(arg);
    return;
  }
  writer.putFormatted("%016llX", static_cast<unsigned long long>(arg.asUInt64()));
}

} // namespace

std::string formatNamedList(std::string_view templ, std::span<const FormatArg> args) {
  FormatWriter writer(args);
  const size_t end = templ.size();
  size_t i = 0;
  while (i < end) {
    char c = templ[i];
    if (c == '%') {
      i = writer.writePercent(templ, i);
      if (i == FormatWriter::kStop)
        break;
      continue;
    }
    if (c == '}') {
      if (!writer.put('}'))
        break;
      i += (i + 1 < end && templ[i + 1] == '}') ? 2 : 1;
      continue;
    }
    if (c != '{') {
      if (!writer.put(c))
        break;
      ++i;
      continue;
    }
    if (i + 1 < end && templ[i + 1] == '{') {
      if (!writer.put('{'))
        break;
      i += 2;
      continue;
    }

    size_t j = i + 1;
    if (j < end && templ[j] == '#')
      ++j;
    while (j < end && templ[j] != '}' && templ[j] != ':')
      j += templ[j] == '\\' ? 2 : 1;
    std::string_view formatSpec;
    if (j < end && templ[j] == ':') {
      size_t start = j + 1;
      j = templ.find('}', start);
      if (j == std::string_view::npos)
        break;
      formatSpec = templ.substr(start, j - start);
    }
    if (j >= end)
      break;
    const FormatArg* arg = writer.takeNext();
    if (!arg)
      break;
    if (formatSpec == "str")
      writeAsText(writer, *arg);
    else if (formatSpec == "hex")
      writeAsHex(writer, *arg);
    else
      writer.writeDefault(*arg);
    i = j + 1;
  }
  return writer.result();
}

} // namespace tav
