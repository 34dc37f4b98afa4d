// Writing a call's outcome into the host's response record, and the record's release function.
//
// Everything written here is allocated through tav::memory and freed by releaseResponseRecord,
// which the host calls once through the record's release word. The text word points at the shared
// empty text when the result has no text; release never frees that one.
#pragma once

#include "binding/binding_property.h"
#include "binding/host_records.h"
#include "binding/host_value_conversion.h"
#include "plugin/call_result.h"

namespace tav {

class BindingTypeRegistry;

// The one empty text shared by every response record.
const char* sharedEmptyText();

// Given to the host with status 400 when the result's value cannot become a HostValue. Without
// it the record would carry no error text and the caller would read the failure as success.
inline constexpr char kResponseValueNotConvertedMessage[] =
    "Couldn't convert the response value for the host.";

// Zeroes all of the record (a record handed over belongs to nobody yet, so nothing in it is
// freed) and stores the release function, so that any answer written afterwards can be released.
void resetResponseRecord(host::HostResponse& response);

// The conversion of a result value into the record. It must lay the value out in one block as
// toPackedHostValue does, because that is how the record's release frees it.
using HostValueWriter = bool (*)(host::HostValue& out, const BindingProperty& input,
                                 const BindingTypeRegistry* registry);

// Writes result into a reset record: the error text (owned) or the converted value, content flag,
// body format (1, 2 and 3 kept, anything else 0), status (400 when the value cannot be
// converted), text, header pairs (a null array when there are none) and, when the result owns a
// stream, the stream moved in with its size hint and the two stream functions. Throws
// std::bad_alloc when memory runs out; what was written by then is released by the record's
// release function.
void writeResponseRecord(host::HostResponse& response, CallResult& result,
                         const BindingTypeRegistry* registry,
                         HostValueWriter writeValue = &toPackedHostValue);

// Response byte 58: frees the value's block, the owned error text, the text unless it is the shared
// empty text, every header name and value and the header array, then zeroes all of the record. The
// stream is not touched. A null record is ignored.
void releaseResponseRecord(host::HostResponse* response) noexcept;

} // namespace tav
