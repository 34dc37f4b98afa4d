// tav-host describe: the API description a plugin hands its host, printed as an OpenAPI 3.1
// document whose schemas are JSON Schema, for the standard tools to read and check.
#pragma once

#include "host/api_description_reader.h"

#include <string>
#include <vector>

namespace CLI {
class App;
} // namespace CLI

namespace tav::tools {

struct DescribeOptions {
  std::string library; // empty: libtav_banners.so beside tav-host
  // URL templates of the plugin's routes ("/tav-test/v1/items/{id}"); the banners plugin's own
  // four are known when no library is named.
  std::vector<std::string> routes;
};

// Adds the describe command and its options to app.
CLI::App* addDescribeCommand(CLI::App& app, DescribeOptions& options);

// What the handshake says of the plugin, for the document's title.
struct DescribedPlugin {
  std::string fullName;
  std::string version; // "18.0.0"
};

// The document, as indented JSON:
//  - components.schemas: every struct (an object of its fields) and every enum (its enumerators'
//    names, or their numbers, both of which the plugin reads) of the description;
//  - paths: each route template of `routes` under which a function is registered, which the
//    function's name tells (the name is made from the method and the template), with the
//    operation of each such function: its placeholders as path parameters, its other arguments
//    in x-arguments, and the answer's schema;
//  - components.pathItems: every other function, under its name, which is how the host
//    addresses it, with the method its name begins with (every method when it begins with none).
//    The records carry no URL template and no argument location of their own;
//  - webhooks: one per event, whose body is the event's payload.
std::string openApiDocument(const host::ApiDescription& description, const DescribedPlugin& plugin,
                            const std::vector<std::string>& routes = {});

// Loads the library without starting the plugin and prints the document on standard output.
int runDescribe(const DescribeOptions& options);

} // namespace tav::tools
