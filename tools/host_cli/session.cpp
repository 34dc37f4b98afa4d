// Setting up the host, the peers and the data file for one run of tav-host.
#include "tools/host_cli/session.h"

#include "tools/host_cli/platform.h"
#include "tools/host_cli/sample_sondar.h"

#include <filesystem>

namespace tav::tools {

std::string defaultLibraryPath() {
  const std::optional<std::string> self = executablePath();
  if (!self) {
    return kLibraryFileName;
  }
  return (std::filesystem::path(*self).parent_path() / kLibraryFileName).string();
}

namespace {

host::HostOptions hostOptions(const SessionOptions& options) {
  host::HostOptions hostOptions;
  hostOptions.echoLog = options.echoLog;
  return hostOptions;
}

} // namespace

Session::Session(const SessionOptions& options, host::SondarData data, std::optional<DataFile> file)
    : peers_(std::move(data)), host_(hostOptions(options)) {
  if (file) {
    saver_.emplace(std::move(*file));
    peers_.setStore([this](const host::SondarData& next, std::string* error) {
      return saver_->save(next, error);
    });
  }
  peers_.install(host_);
}

Session::~Session() {
  host_.stop();
  peers_.setStore(nullptr);
}

SessionOpening Session::open(const SessionOptions& options) {
  SessionOpening opening;
  host::SondarData data;
  std::string error;
  std::optional<DataFile> file =
      options.dataFile.empty() ? std::nullopt : DataFile::open(options.dataFile, &error);
  if (options.dataFile.empty()) {
    data = sampleSondar();
  } else {
    std::optional<host::SondarData> read =
        file ? host::SondarData::fromJson(file->text(), &error) : std::nullopt;
    if (!read) {
      opening.code = ExitCode::DataFailed;
      opening.error = file ? options.dataFile + ": " + error : error;
      return opening;
    }
    data = std::move(*read);
  }

  std::unique_ptr<Session> session(new Session(options, std::move(data), std::move(file)));
  const std::string library = options.library.empty() ? defaultLibraryPath() : options.library;
  if (!session->host_.load(library)) {
    opening.code = ExitCode::PluginFailed;
    opening.error = "cannot load " + library + ": " + session->host_.lastError();
    return opening;
  }
  if (!session->host_.start()) {
    opening.code = ExitCode::PluginFailed;
    opening.error = library + ": the plugin did not start";
    return opening;
  }
  // The plugin asked for its configuration while starting; let what was queued meanwhile arrive
  // before the first call.
  session->host_.waitForDeliveries();
  opening.session = std::move(session);
  return opening;
}

} // namespace tav::tools
