// The MessagePack reader: an iterative decoder with an explicit stack of open containers.
#include "binding/message_pack_reader.h"

#include "binding/document_limits.h"
#include "foundation/message_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

namespace tav {
namespace {

// What a code byte announces. Every format of MessagePack has its own class; the extension
// formats and the never-assigned 0xC1 share Rejected because the framework reads none of them.
enum class CodeClass : uint8_t {
  // The containers come first, so that one comparison tells them from the rest.
  FixMap,
  FixArray,
  Array16,
  Array32,
  Map16,
  Map32,
  FixInt,
  FixStr,
  Nil,
  False,
  True,
  Bin8,
  Bin16,
  Bin32,
  Float32,
  Float64,
  UInt8,
  UInt16,
  UInt32,
  UInt64,
  Int8,
  Int16,
  Int32,
  Int64,
  Str8,
  Str16,
  Str32,
  Rejected,
};

constexpr std::array<CodeClass, 256> makeCodeClasses() {
  std::array<CodeClass, 256> classes{};
  for (unsigned code = 0; code < 256; ++code) {
    if (code <= 0x7F || code >= 0xE0) {
      classes[code] = CodeClass::FixInt;
    } else if (code <= 0x8F) {
      classes[code] = CodeClass::FixMap;
    } else if (code <= 0x9F) {
      classes[code] = CodeClass::FixArray;
    } else if (code <= 0xBF) {
      classes[code] = CodeClass::FixStr;
    } else {
      classes[code] = CodeClass::Rejected;
    }
  }
  classes[0xC0] = CodeClass::Nil;
  classes[0xC2] = CodeClass::False;
  classes[0xC3] = CodeClass::True;
  classes[0xC4] = CodeClass::Bin8;
  classes[0xC5] = CodeClass::Bin16;
  classes[0xC6] = CodeClass::Bin32;
  classes[0xCA] = CodeClass::Float32;
  classes[0xCB] = CodeClass::Float64;
  classes[0xCC] = CodeClass::UInt8;
  classes[0xCD] = CodeClass::UInt16;
  classes[0xCE] = CodeClass::UInt32;
  classes[0xCF] = CodeClass::UInt64;
  classes[0xD0] = CodeClass::Int8;
  classes[0xD1] = CodeClass::Int16;
  classes[0xD2] = CodeClass::Int32;
  classes[0xD3] = CodeClass::Int64;
  classes[0xD9] = CodeClass::Str8;
  classes[0xDA] = CodeClass::Str16;
  classes[0xDB] = CodeClass::Str32;
  classes[0xDC] = CodeClass::Array16;
  classes[0xDD] = CodeClass::Array32;
  classes[0xDE] = CodeClass::Map16;
  classes[0xDF] = CodeClass::Map32;
  return classes;
}

constexpr std::array<CodeClass, 256> kCodeClasses = makeCodeClasses();

bool opensContainer(uint8_t code) {
  return kCodeClasses[code] <= CodeClass::Map32;
}

// A big-endian field: one unaligned load and a byte swap where the compiler offers one (its
// optimiser does not reliably fold the byte loop into that), byte by byte elsewhere.
template <uint32_t N> uint64_t loadBigEndian(const uint8_t* bytes) {
#if defined(__GNUC__)
  if constexpr (N == 2 && std::endian::native == std::endian::little) {
    uint16_t raw;
    std::memcpy(&raw, bytes, 2);
    return __builtin_bswap16(raw);
  } else if constexpr (N == 4 && std::endian::native == std::endian::little) {
    uint32_t raw;
    std::memcpy(&raw, bytes, 4);
    return __builtin_bswap32(raw);
  } else if constexpr (N == 8 && std::endian::native == std::endian::little) {
    uint64_t raw;
    std::memcpy(&raw, bytes, 8);
    return __builtin_bswap64(raw);
  }
#endif
  uint64_t value = 0;
  for (uint32_t i = 0; i < N; ++i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

constexpr size_t kInitialFrames = 16;
constexpr uint64_t kMaxReservedElements = 16;

class MessagePackReader {
public:
  MessagePackReader(const uint8_t* data, uint32_t size) : data_(data), size_(size) {
    stack_.resize(kInitialFrames);
  }

  void run();

  BindingResult& result() { return result_; }
  uint32_t position() const { return position_; }

private:
  // An open container. Frames are pushed only once a container's code has been read (a new
  // collection that is complete as soon as it is opened takes none), so the stack is exactly the
  // chain of enclosing containers still waiting for items.
  struct Frame {
    BindingProperty* target;
    // Items the container expects in total (a map's pairs counted twice, so up to 2^33 - 2)
    // and items started so far. A map's key is read at an even index, its value at an odd one.
    uint64_t count;
    uint64_t index;
    // A collection's elements that are there already: those it held when it was opened (a
    // repeated map key decodes into the earlier value), or all those it announced when they fit
    // in the room reserved for it. They are decoded in place through `elements`, which stays
    // valid because the array only grows once they are all passed; the rest are appended.
    BindingProperty* elements;
    size_t existing;
    bool isStructure;
  };
  // Six words: a document nested to the limit holds a frame for every level.
  static_assert(sizeof(Frame) <= 6 * sizeof(uint64_t));

  // How decoding the items of the top frame ended.
  enum class Step : uint8_t {
    Finished,  // every item is there; the frame is to be popped
    Descended, // an item opened a container that took a frame of its own
    OutOfData, // the document ended first
    Failed,    // the error is recorded
  };

  // Decode the top frame's items one after the other until one of them opens a container;
  // scalars never come back to the main loop.
  Step continueCollection(Frame& frame);
  Step continueStructure(Frame& frame);
  // Inlined into each loop that decodes items.
  [[gnu::always_inline]] inline bool readValue(BindingProperty& target);
  bool readKey(std::string_view& key);
  bool openCollection(BindingProperty& target, uint64_t count);
  bool openStructure(BindingProperty& target, uint64_t pairs);
  bool checkDepth();
  // The next frame of the stack, to be filled in.
  Frame& pushFrame();
  bool readString(BindingProperty& target, uint64_t length);
  bool readBlob(BindingProperty& target, uint64_t length);

  // Reads an N-byte big-endian field, or reports it truncated at the current position.
  template <uint32_t N> bool readFixed(uint64_t& value) {
    if (size_ - position_ < N) {
      failTruncated(N);
      return false;
    }
    value = loadBigEndian<N>(data_ + position_);
    position_ += N;
    return true;
  }

  void failTruncated(uint32_t width);
  template <typename... Args> void fail(std::string_view templ, const Args&... args) {
    result_.setError(formatMessage(templ, args...));
  }

  const uint8_t* data_;
  uint32_t size_;
  uint32_t position_ = 0;
  BindingResult result_;
  // Frames [0, depth_) are live; the vector only grows, so pushing is a plain store.
  std::vector<Frame> stack_;
  size_t stackSize_ = kInitialFrames; // stack_.size(), kept to spare a division per push
  size_t depth_ = 0;
};

void MessagePackReader::run() {
  if (size_ == 0 || !readValue(result_)) {
    return;
  }
  // The frame pushed for the last container opened is on top; the frames below it wait for it.
  while (depth_ != 0) {
    Frame& top = stack_[depth_ - 1];
    const Step step = top.isStructure ? continueStructure(top) : continueCollection(top);
    if (step == Step::Finished) {
      --depth_;
    } else if (step == Step::Failed) {
      return;
    } else if (step == Step::OutOfData) {
      break;
    }
  }
  // A container that still expects items means the document was cut short. Only the frames
  // left on the stack can be open; completed ones are merely not popped yet.
  for (size_t level = 0; level < depth_; ++level) {
    if (stack_[level].index < stack_[level].count) {
      fail("Invalid MessagePack data. Unexpected end of data at position %1.", size_);
      return;
    }
  }
}

// `frame` may move when a nested container pushes a frame, so it is not touched after that.
MessagePackReader::Step MessagePackReader::continueCollection(Frame& frame) {
  while (frame.index < frame.count) {
    if (position_ >= size_) {
      return Step::OutOfData;
    }
    BindingProperty& target =
        frame.index < frame.existing ? frame.elements[frame.index] : frame.target->append();
    ++frame.index;
    const size_t depth = depth_;
    if (!readValue(target)) {
      return Step::Failed;
    }
    if (depth_ != depth) {
      return Step::Descended;
    }
  }
  return Step::Finished;
}

MessagePackReader::Step MessagePackReader::continueStructure(Frame& frame) {
  while (frame.index < frame.count) {
    if (position_ >= size_) {
      return Step::OutOfData;
    }
    std::string_view key;
    ++frame.index;
    if (!readKey(key)) {
      return Step::Failed;
    }
    if (position_ >= size_) {
      return Step::OutOfData;
    }
    ++frame.index;
    const size_t depth = depth_;
    if (!readValue(frame.target->member(key))) {
      return Step::Failed;
    }
    if (depth_ != depth) {
      return Step::Descended;
    }
  }
  return Step::Finished;
}

bool MessagePackReader::readValue(BindingProperty& target) {
  const uint8_t code = data_[position_++];
  uint64_t field = 0;
  switch (kCodeClasses[code]) {
  case CodeClass::FixInt:
    target.setSigned(static_cast<int8_t>(code));
    return true;
  case CodeClass::FixMap:
    return checkDepth() && openStructure(target, code & 0x0Fu);
  case CodeClass::FixArray:
    return checkDepth() && openCollection(target, code & 0x0Fu);
  case CodeClass::FixStr:
    return readString(target, code & 0x1Fu);
  case CodeClass::Nil:
    target.clear();
    return true;
  case CodeClass::False:
    target = false;
    return true;
  case CodeClass::True:
    target = true;
    return true;
  case CodeClass::Bin8:
    return readFixed<1>(field) && readBlob(target, field);
  case CodeClass::Bin16:
    return readFixed<2>(field) && readBlob(target, field);
  case CodeClass::Bin32:
    return readFixed<4>(field) && readBlob(target, field);
  case CodeClass::Float32:
    if (!readFixed<4>(field)) {
      return false;
    }
    target = static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(field)));
    return true;
  case CodeClass::Float64:
    if (!readFixed<8>(field)) {
      return false;
    }
    target = std::bit_cast<double>(field);
    return true;
  case CodeClass::UInt8:
    if (!readFixed<1>(field)) {
      return false;
    }
    target.setUnsigned(field);
    return true;
  case CodeClass::UInt16:
    if (!readFixed<2>(field)) {
      return false;
    }
    target.setUnsigned(field);
    return true;
  case CodeClass::UInt32:
    if (!readFixed<4>(field)) {
      return false;
    }
    target.setUnsigned(field);
    return true;
  case CodeClass::UInt64:
    if (!readFixed<8>(field)) {
      return false;
    }
    target.setUnsigned(field);
    return true;
  case CodeClass::Int8:
    if (!readFixed<1>(field)) {
      return false;
    }
    target.setSigned(static_cast<int8_t>(field));
    return true;
  case CodeClass::Int16:
    if (!readFixed<2>(field)) {
      return false;
    }
    target.setSigned(static_cast<int16_t>(field));
    return true;
  case CodeClass::Int32:
    if (!readFixed<4>(field)) {
      return false;
    }
    target.setSigned(static_cast<int32_t>(field));
    return true;
  case CodeClass::Int64:
    if (!readFixed<8>(field)) {
      return false;
    }
    target.setSigned(static_cast<int64_t>(field));
    return true;
  case CodeClass::Str8:
    return readFixed<1>(field) && readString(target, field);
  case CodeClass::Str16:
    return readFixed<2>(field) && readString(target, field);
  case CodeClass::Str32:
    return readFixed<4>(field) && readString(target, field);
  case CodeClass::Array16:
    return checkDepth() && readFixed<2>(field) && openCollection(target, field);
  case CodeClass::Array32:
    return checkDepth() && readFixed<4>(field) && openCollection(target, field);
  case CodeClass::Map16:
    return checkDepth() && readFixed<2>(field) && openStructure(target, field);
  case CodeClass::Map32:
    return checkDepth() && readFixed<4>(field) && openStructure(target, field);
  case CodeClass::Rejected:
    break;
  }
  fail("Invalid MessagePack data at position %1.", position_);
  return false;
}

bool MessagePackReader::readKey(std::string_view& key) {
  const uint8_t code = data_[position_++];
  uint64_t length = 0;
  switch (kCodeClasses[code]) {
  case CodeClass::FixStr:
    length = code & 0x1Fu;
    break;
  case CodeClass::Str8:
    if (!readFixed<1>(length)) {
      return false;
    }
    break;
  case CodeClass::Str16:
    if (!readFixed<2>(length)) {
      return false;
    }
    break;
  case CodeClass::Str32:
    if (!readFixed<4>(length)) {
      return false;
    }
    break;
  default:
    fail("Invalid MessagePack data at position %1. Map keys must be strings.", position_);
    return false;
  }
  if (length > size_ - position_) {
    fail("Invalid MessagePack data. String of size %1 at position %2 is truncated.",
         static_cast<uint32_t>(length), position_);
    return false;
  }
  key = std::string_view(reinterpret_cast<const char*>(data_ + position_), length);
  position_ += static_cast<uint32_t>(length);
  return true;
}

// A declared count is trusted only as far as the document can still hold that many elements
// (each takes at least one byte) and never beyond kMaxReservedElements, so a header announcing
// billions of items costs no memory, and the containers a document leaves open cost at most
// that many spare elements per nesting level.
bool MessagePackReader::openCollection(BindingProperty& target, uint64_t count) {
  const auto room =
      static_cast<size_t>(std::min<uint64_t>({count, size_ - position_, kMaxReservedElements}));
  size_t existing = 0;
  size_t index = 0;
  BindingProperty* elements = nullptr;
  if (target.isCollection()) {
    existing = target.size();
    target.reserve(existing + room);
    elements = target.elements().data();
  } else if (count == room) {
    // A new collection whose elements all fit in that room gets them at once. Its leading
    // scalars (all of them in arrays of numbers) are decoded here and now, so that only a
    // collection left waiting for a nested container or for more data takes a frame.
    elements = target.makeCollectionOf(room);
    existing = room;
    while (index < room && position_ < size_ && !opensContainer(data_[position_])) {
      if (!readValue(elements[index++])) {
        return false;
      }
    }
    if (index == room) {
      return true;
    }
  } else {
    target.makeCollection();
    target.reserve(room);
  }
  Frame& frame = pushFrame();
  frame.target = &target;
  frame.count = count;
  frame.index = index;
  frame.elements = elements;
  frame.existing = existing;
  frame.isStructure = false;
  return true;
}

// Structure members are tree nodes made one at a time, so there is nothing to reserve.
bool MessagePackReader::openStructure(BindingProperty& target, uint64_t pairs) {
  target.makeStructure();
  Frame& frame = pushFrame();
  frame.target = &target;
  frame.count = pairs * 2;
  frame.index = 0;
  frame.existing = 0;
  frame.isStructure = true;
  return true;
}

MessagePackReader::Frame& MessagePackReader::pushFrame() {
  if (depth_ == stackSize_) {
    stackSize_ = depth_ * 2;
    stack_.resize(stackSize_);
  }
  return stack_[depth_++];
}

// Checked right after the code byte of a container, before its count: the stack holds the
// enclosing containers, so the new one would sit at level stack size + 1.
bool MessagePackReader::checkDepth() {
  if (depth_ < kMaxDocumentDepth) {
    return true;
  }
  fail("Invalid MessagePack data. Document nested too deeply at position %1.", position_);
  return false;
}

bool MessagePackReader::readString(BindingProperty& target, uint64_t length) {
  if (length > size_ - position_) {
    fail("Invalid MessagePack data. String of size %1 at position %2 is truncated.",
         static_cast<uint32_t>(length), position_);
    return false;
  }
  const std::string_view text(reinterpret_cast<const char*>(data_ + position_), length);
  target.setString(text);
  position_ += static_cast<uint32_t>(length);
  return true;
}

bool MessagePackReader::readBlob(BindingProperty& target, uint64_t length) {
  if (length > size_ - position_) {
    fail("Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.",
         static_cast<uint32_t>(length), position_);
    return false;
  }
  target.setBlob(std::span<const uint8_t>(data_ + position_, length));
  position_ += static_cast<uint32_t>(length);
  return true;
}

void MessagePackReader::failTruncated(uint32_t width) {
  switch (width) {
  case 1:
    fail("Invalid MessagePack data. 8-bit integer value at position %1 is truncated.", position_);
    break;
  case 2:
    fail("Invalid MessagePack data. 16-bit integer value at position %1 is truncated.", position_);
    break;
  case 4:
    fail("Invalid MessagePack data. 32-bit integer value at position %1 is truncated.", position_);
    break;
  default:
    fail("Invalid MessagePack data. 64-bit integer value at position %1 is truncated.", position_);
    break;
  }
}

} // namespace

void decodeMessagePack(BindingResult& out, uint32_t& consumed, const uint8_t* data, uint32_t size) {
  MessagePackReader reader(data, size);
  reader.run();
  out = std::move(reader.result());
  consumed = reader.position();
}

} // namespace tav
