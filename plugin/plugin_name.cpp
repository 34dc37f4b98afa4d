// Full names and identifiers of plugins.
#include "plugin/plugin_name.h"

#include "foundation/log.h"
#include "foundation/message_format.h"
#include "routing/function_name.h"

namespace tav {

std::string GetFullNameFromShortNameAndType(std::string_view shortName, const PluginKind& kind) {
  std::string prefix;
  if (kind.name == kBackendKindName) {
    prefix = "vmf-be-";
  } else if (kind.name == kFrontendKindName) {
    prefix = "vmf-fe-";
  } else {
    // An unknown kind still yields a usable name, so registration goes on after the error line.
    prefix = "vmf-xx-";
    const std::string message =
        formatMessage("GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type",
                      shortName, kind.name);
    logMessage(LogLevel::Error, kLogGroupDbg, "Plugin Manager| %s", message.c_str());
  }
  return prefix.append(shortName);
}

PluginNameRecord makePluginNameRecord(std::string_view shortName, const PluginKind& kind) {
  PluginNameRecord record;
  record.fullName = GetFullNameFromShortNameAndType(shortName, kind);
  record.shortName.assign(shortName);
  record.kindName = kind.name;
  record.kindDetail = kind.detail;
  return record;
}

std::string pluginIdentifier(std::string_view fullName) {
  return identifierFromText(fullName);
}

} // namespace tav
