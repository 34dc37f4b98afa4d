// HttpBridge: the plugin and its peer services behind one HTTP server, for people and front ends
// to drive by hand.
//
//   HttpBridge bridge(session, events, basicAuthorization(kUserName, password));
//   bridge.mount(server);  // every request needs the Authorization header, else 401
//
// Paths, answered with JSON but for the page:
//   /                                             GET: the page for people (page_assets.h), and
//   /tav-host/page/<file>                         its other files
//   /events                                       GET: the plugin's events (event_stream.h);
//                                                 503 when EventStream::kMaxClients are open
//   /tav-inventory/v1/signedInventory             GET ?types=A,B: the tokens the plugin is given;
//                                                 PUT {"flags": [...], "frames": [...]}: replaces
//                                                 those the body names, in data file form
//   /tav-sondar/v1/current-sondar/sondar-profile  GET; PUT an object: the whole profile;
//                                                 POST {"key", "value"}: one member
//   /tav-loadouts/v2/items/1                      GET: what the plugin last wrote
//   /tav-platform-config/v1/namespaces/<ns>/<n>   GET; PUT any JSON: set, with its event;
//                                                 DELETE: remove, with its event; answered
//                                                 once the plugin has had the event
//   /tav-host/v1/failures/<endpoint>              GET; PUT {"status", "message"}: the peer
//                                                 answers that error; DELETE: it works again
//   anything else                                 the plugin, with the body and its content type
// A change made through these paths is announced to event clients as a kHostChangeEvent, so that
// pages showing the sondar redraw; the plugin never sees it.
// Before any of that, request_guard.h's checks, and authentication, refuse what comes from
// elsewhere or cannot be read safely; bodies are read here, up to ServerLimits::maxBodyBytes
// whatever their framing. Error answers are {"httpStatus": <status>, "message": <text>}, those
// of the HTTP layer (400, 404, 408, 413, 414, 431) and of the checks (401, 403, 415, 501)
// included, and every answer is UTF-8. A change the data file could not keep is answered 500
// with the reason, and nothing changes.
#pragma once

#include "tools/host_cli/event_stream.h"
#include "tools/host_cli/guarded_server.h"
#include "tools/host_cli/session.h"

#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace tav::tools {

inline constexpr char kEventsPath[] = "/events";
inline constexpr char kFailuresPrefix[] = "/tav-host/v1/failures/";
// Data {"method", "path"}: the request that made the change.
inline constexpr char kHostChangeEvent[] = "TavHostChange";

class HttpBridge {
public:
  // authorization is the whole Authorization header value that is let in ("Basic <token>");
  // the scheme may come in any case.
  HttpBridge(Session& session, EventStream& events, std::string authorization);

  // Registers the checks and authentication (also in answer to "Expect: 100-continue"), a
  // handler of every method and path, and the JSON answers of the HTTP layer's own errors on
  // server, which must outlive the bridge's use and be bound before it serves (the checks read
  // its port).
  void mount(GuardedServer& server);

private:
  bool authorized(const std::string& header) const;
  void handle(const httplib::Request& request, httplib::Response& response);
  void page(const httplib::Request& request, httplib::Response& response);
  // Tells event clients that request changed the peers' state or the configuration.
  void announce(const httplib::Request& request);
  void callPlugin(const httplib::Request& request, httplib::Response& response);
  void inventory(const httplib::Request& request, httplib::Response& response);
  void profile(const httplib::Request& request, httplib::Response& response);
  void loadouts(const httplib::Request& request, httplib::Response& response);
  void configuration(const httplib::Request& request, httplib::Response& response);
  void failure(const httplib::Request& request, httplib::Response& response);

  Session& session_;
  EventStream& events_;
  std::string scheme_;
  std::string credentials_;
};

} // namespace tav::tools
