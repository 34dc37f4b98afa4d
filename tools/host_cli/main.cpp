// tav-host: runs the plugin library (libtav_banners.so, tav_banners.dll) as the desktop client's
// host would, for people to call it by hand, serve it over HTTP or watch a short tour of it.
#include "tools/host_cli/call_command.h"
#include "tools/host_cli/describe_command.h"
#include "tools/host_cli/exit_codes.h"
#include "tools/host_cli/lockfile.h"
#include "tools/host_cli/platform.h"
#include "tools/host_cli/sample_sondar.h"
#include "tools/host_cli/serve_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

namespace {

using namespace tav::tools;

constexpr char kServePathsHelp[] =
    "Paths (docs/tav-host.md):\n"
    "  /tav-banners/...                 the plugin; body and content type passed on\n"
    "  /events                          GET: the plugin's events as Server-Sent Events\n"
    "  /tav-platform-config/v1/namespaces/<ns>/<name>\n"
    "                                   GET; PUT JSON, which fires its event; DELETE\n"
    "  /tav-inventory/v1/signedInventory\n"
    "                                   GET the tokens; PUT {\"flags\": [..], \"frames\": [..]}\n"
    "  /tav-sondar/v1/current-sondar/sondar-profile\n"
    "                                   GET; PUT an object; POST {\"key\", \"value\"}\n"
    "  /tav-loadouts/v2/items/1         GET\n"
    "  /tav-host/v1/failures/<endpoint> GET; PUT {\"status\", \"message\"}; DELETE\n"
    "Each request is logged on standard output, the plugin's log lines on standard error as\n"
    "\"[plugin <level>] <line>\" (0 okay, 1 warning, 2 error, 3 always).\n";

void addSessionOptions(CLI::App& command, SessionOptions& options) {
  command
      .add_option("--data", options.dataFile,
                  "Sondar data file (docs/sondar-data.md) to play and to save every change to; "
                  "without it, the embedded sample and nothing is saved")
      ->check(CLI::ExistingFile);
  command.add_option("--library", options.library,
                     std::string("Plugin library to load (default: ") + kLibraryFileName +
                         " beside tav-host)");
}

} // namespace

int main(int argc, char** argv) {
  prepareProcess();

  CLI::App app(std::string("tav-host: runs ") + kLibraryFileName +
               " with stand-ins for the plugins around it (inventory, sondar profile, loadouts, "
               "platform configuration).");
  app.footer(kExitCodesHelp);
  app.require_subcommand(1);
  // Paths such as /tav-banners/... are arguments, never /options as CLI11 reads them on Windows.
  app.allow_windows_style_options(false);

  CallOptions call;
  CLI::App* callCommand =
      app.add_subcommand("call", "Make one call and print the status and the answer as indented "
                                 "JSON; an error answer goes to standard error");
  callCommand->add_option("method", call.method, "GET, PUT, POST, ...")->required();
  callCommand->add_option("path", call.path, "e.g. /tav-banners/v1/current-sondar/flags")
      ->required();
  callCommand->add_option("--body", call.body, "Request body: the text, or @FILE to read it");
  callCommand->add_option("--content-type", call.contentType,
                          "Content type of the body (default: application/json)");
  callCommand->add_flag("-v,--verbose", call.session.echoLog,
                        "Show the plugin's log lines on standard error");
  addSessionOptions(*callCommand, call.session);
  callCommand->footer(kExitCodesHelp);

  ServeOptions serve;
  CLI::App* serveCommand = app.add_subcommand(
      "serve", "Serve the plugin and its peers over HTTP on 127.0.0.1, with basic authentication "
               "(user \"tav\", a random password written to the lockfile), until Ctrl-C");
  serveCommand->add_option("--port", serve.port, "TCP port; 0 lets the system choose")
      ->check(CLI::Range(0, 65535))
      ->capture_default_str();
  serveCommand
      ->add_option("--lockfile", serve.lockfile,
                   "Where to write \"tav-host:<pid>:<port>:<password>:http\", " +
                       std::string(kLockfileAccess) +
                       ", removed at stop (default: " + defaultLockfilePath() + ")")
      ->check(!CLI::ExistingDirectory);
  addSessionOptions(*serveCommand, serve.session);
  serveCommand->footer(std::string(kServePathsHelp) + "\n" + kExitCodesHelp);

  SessionOptions tour;
  CLI::App* tourCommand = app.add_subcommand(
      "tour", "Show the four routes answering, a flag being equipped and its event, and what "
              "switching equipping off does");
  tourCommand->add_flag("-v,--verbose", tour.echoLog,
                        "Show the plugin's log lines on standard error");
  addSessionOptions(*tourCommand, tour);
  tourCommand->footer(kExitCodesHelp);

  CLI::App* sampleCommand = app.add_subcommand(
      "sample", "Print the embedded sample sondar as a data file, to start one of your own");
  sampleCommand->footer(kExitCodesHelp);

  DescribeOptions describe;
  CLI::App* describeCommand = addDescribeCommand(app, describe);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : exitCode(ExitCode::Usage);
  }

  if (*callCommand) {
    return runCall(call);
  }
  if (*serveCommand) {
    return runServe(serve);
  }
  if (*tourCommand) {
    return runTour(tour);
  }
  if (*describeCommand) {
    return runDescribe(describe);
  }
  std::fputs(std::string(sampleSondarJson()).c_str(), stdout);
  return exitCode(ExitCode::Ok);
}
