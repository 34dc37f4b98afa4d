// tav-host describe: the API description a plugin hands its host, printed as an OpenAPI 3.1
// document whose schemas are JSON Schema, for the standard tools to read and check.
#pragma once

#include "host/api_description_reader.h"

#include <string>

namespace CLI {
class App;
} // namespace CLI

namespace tav::tools {

struct DescribeOptions {
  std::string library; // empty: libtav_banners.so beside tav-host
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
//  - components.pathItems: one per function, under its name, which is how the host addresses it,
//    with the method its name begins with (every method when it begins with none), the arguments
//    in x-arguments and the answer's schema. The records carry no URL template and no argument
//    location, so no `paths` entry and no `parameters` can be written from them;
//  - webhooks: one per event, whose body is the event's payload.
std::string openApiDocument(const host::ApiDescription& description, const DescribedPlugin& plugin);

// Loads the library without starting the plugin and prints the document on standard output.
int runDescribe(const DescribeOptions& options);

} // namespace tav::tools
