// The plain packed records that cross the host boundary, shared by the plugin, the substitute
// host and every outside tool.
//
// Every record is packed and little-endian. Pointer fields are native pointers (4 bytes on 32-bit
// targets, 8 on 64-bit); every other field keeps its fixed width. The static_asserts at the end
// pin each size and offset on both kinds of target. Nothing crosses as a C++ object and no
// exception crosses.
//
// Ownership is stated on every record below: who fills it, who frees what it points to, and how
// long a reader may keep a pointer. "Owned" memory is freed by a release function of the side
// that built it, never by free() of the other side; "borrowed" memory stays with the lender and
// may be read only for as long as stated. Texts are zero-terminated UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tav::host {

#pragma pack(push, 1)

// Kind codes of HostValue. Owned payloads belong to the record and go with its release; borrowed
// ones belong to whoever lent them and are never freed through the record.
enum class HostValueKind : uint32_t {
  Empty = 0,
  Bool = 1,
  Signed = 2,
  Unsigned = 3,
  Float = 4,
  BorrowedString = 5, // text, lent for as long as the record is
  OwnedString = 6,    // text, then its byte length
  BorrowedBlob = 7,   // bytes and count, lent for as long as the record is
  OwnedBlob = 8,      // bytes, then the count
  List = 9,           // owned array of HostValue items, then the count
  Map = 10,           // owned array of HostMapEntry, then the count
};

struct HostValue;
struct HostMapEntry;

// A pointer with its length or count, the payload of texts, blobs, lists and maps; the kind of
// the HostValue holding it says whether data is owned or borrowed. A null data pointer holds
// nothing whatever the count says.
struct HostSpan {
  void* data;
  uint32_t length;
};

// The host's value record. Releasing frees owned texts and blobs, list items (recursively, then
// the array), map keys whose keyOwned is set and values (recursively, then the array), and zeroes
// the record. The side that built a record releases it, with the release that matches how it was
// built (a record laid out in one block has its own); a record inside another record (a response,
// an event, a typed argument) lives and goes as that record says. A reader that keeps anything
// copies it.
struct HostValue {
  uint32_t kind;
  union {
    uint8_t boolean;
    int64_t integer;
    uint64_t unsignedInteger;
    double number;
    HostSpan span;
    uint8_t raw[sizeof(void*) == 4 ? 8 : 12];
  };
};

// One member of a map. The key goes with the map when keyOwned is 1 and is lent for the map's
// life otherwise (a null key reads as ""); the value is part of the map.
struct HostMapEntry {
  const char* key;
  HostValue value;
  uint8_t keyOwned;
};

// A typed argument of a request: a name, or null for a positional argument. Name and value belong
// to the caller, which releases the value after the call; the callee reads them only during it.
struct HostTypedArgument {
  const char* name;
  HostValue value;
};

// A header pair. In a request both texts are lent by the caller for the call; in a response both
// texts and the array belong to the response and go with its release.
struct HostHeaderPair {
  const char* name;
  const char* value;
};

// Filled by the caller and read-only for the callee; it and everything it points to (path,
// arguments, headers, content type, body, custom method) are lent for the call only. The body is
// not zero-terminated: bodyLength bytes, or none when body is null.
struct HostRequest {
  uint32_t method;
  const char* path;
  const HostTypedArgument* args;
  uint32_t argCount;
  void* functionContext;
  const HostHeaderPair* headers;
  uint32_t headerCount;
  const char* contentType;
  const uint8_t* body;
  uint32_t bodyLength;
  uint32_t callerHandle;
  const char* customMethod;
};

struct HostResponse;
using HostStreamReadFn = uint8_t (*)(void* stream, void* buffer, uint32_t* count, uint8_t* more);
using HostStreamReleaseFn = void (*)(void* stream);
using HostResponseReleaseFn = void (*)(HostResponse* response);

// Zeroed by whoever hands it over and filled by the callee, which sets release. Everything the
// record points to (value, error text when errorOwned is 1, text unless it is the callee's shared
// empty text, headers) belongs to the callee until the receiver calls release, once, when it is
// set; the receiver never reads the record again after that, and copies what it keeps. An error
// text with errorOwned 0 is the callee's, lent for as long as the record. The stream is apart: from
// the call's return it belongs to the receiver, which reads it through streamRead and gives it back
// through streamRelease once, read or not; release does not touch it.
struct HostResponse {
  HostValue value;
  const char* error;
  uint8_t errorOwned;
  uint8_t contentFlag;
  uint32_t bodyFormat;
  uint32_t status;
  const char* text;
  HostHeaderPair* headers;
  uint32_t headerCount;
  HostStreamReadFn streamRead;
  HostStreamReleaseFn streamRelease;
  uint32_t streamSizeHint;
  uint32_t zero;
  void* stream;
  HostResponseReleaseFn release;
};

// An event record lives only during sendEvent or during the callback that receives it; the name
// and the payload belong to the sender, which releases the payload when sendEvent returns, and a
// receiver copies what it keeps. senderWord is the sender's own and is not read on delivery;
// context is the one given to subscribe.
struct HostEvent {
  const char* name;
  HostValue payload;
  uint32_t senderWord;
  void* context;
};

struct HostApi;

// Owned by the host and handed to the start callback; the plugin keeps the pointer, and the table
// it points to, until its stop callback returns. pluginHandle names the plugin in every call.
struct HostContext {
  const HostApi* api;
  uint32_t pluginHandle;
};

// Owned by the plugin, in the plugin object; valid from the handshake until stop returns. Every
// callback takes the handshake's pluginContext first; after stop that context is invalid.
struct HostCallbacks {
  uint8_t (*start)(void* pluginContext, HostContext* host);
  void (*stop)(void* pluginContext);
  void (*memoryStatistics)(void* pluginContext, uint32_t out[14]);
};

struct HostFunctionDescription;
struct HostTypeDescription;
struct HostEventDescription;

// What the handshake's functionTable word points at. It, every record and array it reaches, and
// the texts they point to are built at registration and owned by the plugin; the host may read
// them, never change or free them, until the plugin's stop callback returns. Within each array the
// next word links a record to the following one (null in the last).
struct HostApiDescription {
  HostFunctionDescription* functions;
  uint32_t functionCount;
  HostTypeDescription* types;
  uint32_t typeCount;
  HostEventDescription* events;
  uint32_t eventCount;
};

// Owned by the host and filled during the one call of the plugin's export: the in words (the
// host's plugin interface version) are read before the out words are written. The out pointers
// (callbacks, fullName, functionTable) are the plugin's and stay valid until stop returns;
// pluginContext is opaque to the host.
struct HostHandshake {
  uint32_t major;
  uint32_t minor;
  uint32_t patch;
  const HostCallbacks* callbacks;
  void* pluginContext;
  const char* fullName;
  const HostApiDescription* functionTable;
};

// The description records below belong to the HostApiDescription that reaches them and live as
// long as it; their texts are never null (absent ones are "").
struct HostArgumentDescription {
  HostArgumentDescription* next;
  const char* name;
  const char* description;
  uint32_t typeCode;
  uint32_t elementCode;
  const char* typeName;
  uint8_t optional;
};

struct HostFunctionDescription {
  HostFunctionDescription* next;
  uint32_t reserved;
  void* context;
  const char* name;
  const char* nameSpace;
  HostArgumentDescription* arguments;
  uint32_t argumentCount;
  uint32_t returnCode;
  uint32_t returnElementCode;
  const char* returnTypeName;
  const char* description;
  const char* help;
  uint8_t threadSafe;
  const char* async;
  const char* const* tags;
  uint32_t tagCount;
};

using HostCallEntry = void (*)(HostResponse* response, const HostRequest* request);

// One per callable function, in one array owned by the plugin for as long as its description;
// its first bytes are a copy of the description record, so its next word points into the
// description array. description.context identifies the function when the host calls call.
struct HostFunctionRecord {
  HostFunctionDescription description;
  HostCallEntry call;
  uint8_t zero[25];
};

struct HostFieldDescription {
  HostFieldDescription* next;
  const char* name;
  const char* description;
  uint32_t offset;
  uint32_t typeCode;
  uint32_t elementCode;
  const char* typeName;
  uint8_t optional;
};

struct HostEnumeratorDescription {
  HostEnumeratorDescription* next;
  const char* name;
  const char* description;
  int32_t number;
};

struct HostTypeDescription {
  HostTypeDescription* next;
  const char* name;
  const char* nameSpace;
  uint32_t size;
  const char* description;
  const char* const* tags;
  uint32_t tagCount;
  HostFieldDescription* fields;
  HostEnumeratorDescription* values;
  uint32_t count;
};

struct HostEventDescription {
  HostEventDescription* next;
  const char* name;
  const char* nameSpace;
  const char* payloadTypeName;
  const char* description;
  const char* const* tags;
  uint32_t tagCount;
};

// The host's table of ten services, owned by the host and valid until the plugin's stop callback
// returns; every entry takes the table's own address first. Records and texts passed to an entry
// are lent for that call only, except what an entry's own record says (a response record's
// contents, a subscription's callback and context, kept until unsubscribe).
struct HostApi {
  void (*sendRequest)(const HostApi* api, HostResponse* response, const HostRequest* request);
  void (*reserved1)(const HostApi* api, uint32_t a, uint32_t b);
  void (*sendEvent)(const HostApi* api, const HostEvent* event);
  void (*subscribe)(const HostApi* api, const char* name, uint32_t handle,
                    void (*callback)(HostEvent* event), void* context, uint32_t flag);
  void (*unsubscribe)(const HostApi* api, const char* name, uint32_t handle);
  void (*reserved5)(const HostApi* api, uint32_t a, uint32_t b, uint32_t c, double d, uint32_t e);
  void (*yieldToHost)(const HostApi* api);
  void (*beginWait)(const HostApi* api, const char* label, uint32_t zero);
  void (*endWait)(const HostApi* api);
  void (*writeLog)(const HostApi* api, int32_t level, const char* message);
};

#pragma pack(pop)

// The one export of a plugin library.
using LoadPluginFn = void (*)(HostHandshake* handshake);

// Sizes and offsets on 32-bit targets (the original layout) and 64-bit targets (pointers widened).
namespace layout {
constexpr bool k32 = sizeof(void*) == 4;
constexpr size_t pick(size_t on32, size_t on64) {
  return k32 ? on32 : on64;
}
} // namespace layout

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
static_assert(sizeof(HostValue) == layout::pick(12, 16));
static_assert(offsetof(HostValue, raw) == 4);
static_assert(sizeof(HostMapEntry) == layout::pick(17, 25));
static_assert(offsetof(HostMapEntry, value) == layout::pick(4, 8));
static_assert(offsetof(HostMapEntry, keyOwned) == layout::pick(16, 24));
static_assert(sizeof(HostTypedArgument) == layout::pick(16, 24));
static_assert(sizeof(HostHeaderPair) == layout::pick(8, 16));

static_assert(sizeof(HostRequest) == layout::pick(48, 76));
static_assert(offsetof(HostRequest, path) == 4);
static_assert(offsetof(HostRequest, args) == layout::pick(8, 12));
static_assert(offsetof(HostRequest, argCount) == layout::pick(12, 20));
static_assert(offsetof(HostRequest, functionContext) == layout::pick(16, 24));
static_assert(offsetof(HostRequest, headers) == layout::pick(20, 32));
static_assert(offsetof(HostRequest, headerCount) == layout::pick(24, 40));
static_assert(offsetof(HostRequest, contentType) == layout::pick(28, 44));
static_assert(offsetof(HostRequest, body) == layout::pick(32, 52));
static_assert(offsetof(HostRequest, bodyLength) == layout::pick(36, 60));
static_assert(offsetof(HostRequest, callerHandle) == layout::pick(40, 64));
static_assert(offsetof(HostRequest, customMethod) == layout::pick(44, 68));

static_assert(sizeof(HostResponse) == layout::pick(62, 94));
static_assert(offsetof(HostResponse, error) == layout::pick(12, 16));
static_assert(offsetof(HostResponse, errorOwned) == layout::pick(16, 24));
static_assert(offsetof(HostResponse, contentFlag) == layout::pick(17, 25));
static_assert(offsetof(HostResponse, bodyFormat) == layout::pick(18, 26));
static_assert(offsetof(HostResponse, status) == layout::pick(22, 30));
static_assert(offsetof(HostResponse, text) == layout::pick(26, 34));
static_assert(offsetof(HostResponse, headers) == layout::pick(30, 42));
static_assert(offsetof(HostResponse, headerCount) == layout::pick(34, 50));
static_assert(offsetof(HostResponse, streamRead) == layout::pick(38, 54));
static_assert(offsetof(HostResponse, streamRelease) == layout::pick(42, 62));
static_assert(offsetof(HostResponse, streamSizeHint) == layout::pick(46, 70));
static_assert(offsetof(HostResponse, zero) == layout::pick(50, 74));
static_assert(offsetof(HostResponse, stream) == layout::pick(54, 78));
static_assert(offsetof(HostResponse, release) == layout::pick(58, 86));

static_assert(sizeof(HostEvent) == layout::pick(24, 36));
static_assert(offsetof(HostEvent, payload) == layout::pick(4, 8));
static_assert(offsetof(HostEvent, senderWord) == layout::pick(16, 24));
static_assert(offsetof(HostEvent, context) == layout::pick(20, 28));

static_assert(sizeof(HostContext) == layout::pick(8, 12));
static_assert(sizeof(HostHandshake) == layout::pick(28, 44));
static_assert(offsetof(HostHandshake, callbacks) == 12);
static_assert(offsetof(HostHandshake, pluginContext) == layout::pick(16, 20));
static_assert(offsetof(HostHandshake, fullName) == layout::pick(20, 28));
static_assert(offsetof(HostHandshake, functionTable) == layout::pick(24, 36));
static_assert(sizeof(HostCallbacks) == layout::pick(12, 24));
static_assert(sizeof(HostApiDescription) == layout::pick(24, 36));
static_assert(sizeof(HostApi) == layout::pick(40, 80));

static_assert(sizeof(HostFunctionDescription) == layout::pick(61, 101));
static_assert(offsetof(HostFunctionDescription, reserved) == layout::pick(4, 8));
static_assert(offsetof(HostFunctionDescription, context) == layout::pick(8, 12));
static_assert(offsetof(HostFunctionDescription, name) == layout::pick(12, 20));
static_assert(offsetof(HostFunctionDescription, nameSpace) == layout::pick(16, 28));
static_assert(offsetof(HostFunctionDescription, arguments) == layout::pick(20, 36));
static_assert(offsetof(HostFunctionDescription, argumentCount) == layout::pick(24, 44));
static_assert(offsetof(HostFunctionDescription, returnCode) == layout::pick(28, 48));
static_assert(offsetof(HostFunctionDescription, returnElementCode) == layout::pick(32, 52));
static_assert(offsetof(HostFunctionDescription, returnTypeName) == layout::pick(36, 56));
static_assert(offsetof(HostFunctionDescription, description) == layout::pick(40, 64));
static_assert(offsetof(HostFunctionDescription, help) == layout::pick(44, 72));
static_assert(offsetof(HostFunctionDescription, threadSafe) == layout::pick(48, 80));
static_assert(offsetof(HostFunctionDescription, async) == layout::pick(49, 81));
static_assert(offsetof(HostFunctionDescription, tags) == layout::pick(53, 89));
static_assert(offsetof(HostFunctionDescription, tagCount) == layout::pick(57, 97));
static_assert(sizeof(HostFunctionRecord) == layout::pick(90, 134));
static_assert(offsetof(HostFunctionRecord, call) == layout::pick(61, 101));

static_assert(sizeof(HostArgumentDescription) == layout::pick(25, 41));
static_assert(offsetof(HostArgumentDescription, typeCode) == layout::pick(12, 24));
static_assert(offsetof(HostArgumentDescription, elementCode) == layout::pick(16, 28));
static_assert(offsetof(HostArgumentDescription, typeName) == layout::pick(20, 32));
static_assert(offsetof(HostArgumentDescription, optional) == layout::pick(24, 40));

static_assert(sizeof(HostTypeDescription) == layout::pick(40, 68));
static_assert(offsetof(HostTypeDescription, size) == layout::pick(12, 24));
static_assert(offsetof(HostTypeDescription, description) == layout::pick(16, 28));
static_assert(offsetof(HostTypeDescription, tags) == layout::pick(20, 36));
static_assert(offsetof(HostTypeDescription, tagCount) == layout::pick(24, 44));
static_assert(offsetof(HostTypeDescription, fields) == layout::pick(28, 48));
static_assert(offsetof(HostTypeDescription, values) == layout::pick(32, 56));
static_assert(offsetof(HostTypeDescription, count) == layout::pick(36, 64));

static_assert(sizeof(HostFieldDescription) == layout::pick(29, 45));
static_assert(offsetof(HostFieldDescription, offset) == layout::pick(12, 24));
static_assert(offsetof(HostFieldDescription, typeCode) == layout::pick(16, 28));
static_assert(offsetof(HostFieldDescription, elementCode) == layout::pick(20, 32));
static_assert(offsetof(HostFieldDescription, typeName) == layout::pick(24, 36));
static_assert(offsetof(HostFieldDescription, optional) == layout::pick(28, 44));

static_assert(sizeof(HostEnumeratorDescription) == layout::pick(16, 28));
static_assert(offsetof(HostEnumeratorDescription, number) == layout::pick(12, 24));

static_assert(sizeof(HostEventDescription) == layout::pick(28, 52));
static_assert(offsetof(HostEventDescription, payloadTypeName) == layout::pick(12, 24));
static_assert(offsetof(HostEventDescription, description) == layout::pick(16, 32));
static_assert(offsetof(HostEventDescription, tags) == layout::pick(20, 40));
static_assert(offsetof(HostEventDescription, tagCount) == layout::pick(24, 48));

} // namespace tav::host
