// Calls made in-process for `tav-host call` and `tav-host tour`.
#include "tools/host_cli/call_command.h"

#include "host/sondar_resource_event.h"
#include "tools/host_cli/answer_output.h"
#include "tools/host_cli/banner_routes.h"
#include "tools/host_cli/system_file.h"

#include <cctype>
#include <cstdio>

namespace tav::tools {
namespace {

std::optional<std::string> readBody(const std::string& body, std::string& error) {
  if (body.empty() || body[0] != '@') {
    return body;
  }
  const std::string path = body.substr(1);
  // Read with the system's calls, so that a folder or an unreadable file is an error instead of
  // an empty body.
  std::string reason;
  std::string text;
  std::optional<SystemFile> file = SystemFile::openToRead(path, &reason);
  if (!file || !file->readAll(text, &reason)) {
    error = "cannot read the body file " + path + ": " + reason;
    return std::nullopt;
  }
  return text;
}

std::unique_ptr<Session> openOrReport(const SessionOptions& options, int& code) {
  SessionOpening opening = Session::open(options);
  if (!opening.session) {
    std::fprintf(stderr, "tav-host: %s\n", opening.error.c_str());
    code = exitCode(opening.code);
  }
  return std::move(opening.session);
}

host::CallResult put(host::Host& host, const std::string& path, const host::ValueTree& body) {
  host::CallRequest request;
  request.method = "PUT";
  request.path = path;
  request.contentType = "application/json";
  request.body = body.toJson();
  return host.call(request);
}

// One step of the tour: the request, then its answer in the form `call` prints it.
void show(const std::string& what, const host::CallResult& result) {
  std::printf("\n$ tav-host call %s\n", what.c_str());
  std::fflush(stdout);
  printAnswer(result);
  std::fflush(stderr);
}

// The first listed flag that is not the equipped one; the list when it is the only one.
host::ValueTree anotherFlag(const host::ValueTree& flags, const host::ValueTree& equipped) {
  for (const host::ValueTree& flag : flags.items()) {
    if (!host::sameJsonValue(flag, equipped)) {
      return flag;
    }
  }
  return flags.items().empty() ? host::ValueTree() : flags.items().front();
}

} // namespace

int runCall(const CallOptions& options) {
  host::CallRequest request;
  // "get" is a custom method to the host, which no route takes; people mean GET.
  request.method.clear();
  for (char c : options.method) {
    request.method.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  request.path = options.path;
  if (options.body) {
    std::string error;
    request.body = readBody(*options.body, error);
    if (!request.body) {
      std::fprintf(stderr, "tav-host: %s\n", error.c_str());
      return exitCode(ExitCode::Usage);
    }
    request.contentType = options.contentType.empty() ? "application/json" : options.contentType;
  } else {
    request.contentType = options.contentType;
  }

  int code = 0;
  std::unique_ptr<Session> session = openOrReport(options.session, code);
  if (!session) {
    return code;
  }
  const host::CallResult result = session->host().call(request);
  if (session->saveFailed()) {
    // What was answered rests on a change the data file does not hold: no success is shown.
    std::fprintf(stderr, "tav-host: the change was not saved: %s\n", session->saveError().c_str());
    if (!result.ok()) {
      printAnswer(result);
    }
    session.reset();
    return exitCode(ExitCode::DataFailed);
  }
  code = printAnswer(result);
  session.reset();
  return code;
}

int runTour(const SessionOptions& options) {
  int code = 0;
  std::unique_ptr<Session> session = openOrReport(options, code);
  if (!session) {
    return code;
  }
  host::Host& host = session->host();
  std::printf("tav-host tour: %s answering for %s\n", kLibraryFileName,
              options.dataFile.empty() ? "the embedded sample sondar" : options.dataFile.c_str());

  const host::CallResult flags = host.call("GET", kFlagsPath);
  show(std::string("GET ") + kFlagsPath, flags);
  const host::CallResult equipped = host.call("GET", kEquippedPath);
  show(std::string("GET ") + kEquippedPath, equipped);
  show(std::string("GET ") + kFramePath, host.call("GET", kFramePath));

  const host::ValueTree next = anotherFlag(flags.value, equipped.value);
  const size_t eventsBefore = host.events().sentEvents().size();
  show(std::string("PUT ") + kEquippedPath + " --body '" + next.toJson() + "'",
       put(host, kEquippedPath, next));
  const std::vector<host::SentEvent> sent = host.events().sentEvents();
  for (size_t i = eventsBefore; i < sent.size(); ++i) {
    std::printf("\nevent %s\n%s\n", sent[i].name.c_str(), indentedJson(sent[i].payload).c_str());
  }
  show(std::string("GET ") + kEquippedPath, host.call("GET", kEquippedPath));

  std::printf("\nSwitching equipping off (a platform-configuration event):\n");
  session->peers().setConfiguration("Banners", "IsEquipEnabled", false);
  host.waitForDeliveries();
  show(std::string("PUT ") + kEquippedPath + " --body '" + next.toJson() + "'",
       put(host, kEquippedPath, next));

  const bool saveFailed = session->saveFailed();
  session.reset();
  return exitCode(saveFailed ? ExitCode::DataFailed : ExitCode::Ok);
}

} // namespace tav::tools
