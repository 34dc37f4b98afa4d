// The text stream and the host-facing stream functions.
#include "plugin/response_stream.h"

#include <algorithm>
#include <cstring>

namespace tav {
namespace {

class TextStream final : public ResponseStream {
public:
  TextStream(std::string text, uint32_t pieceSize) : text_(std::move(text)), piece_(pieceSize) {}

  bool read(void* buffer, uint32_t& count, bool& more) override {
    size_t take = std::min<size_t>(count, text_.size() - position_);
    if (piece_ != 0) {
      take = std::min<size_t>(take, piece_);
    }
    if (take != 0) {
      std::memcpy(buffer, text_.data() + position_, take);
    }
    position_ += take;
    count = static_cast<uint32_t>(take);
    more = position_ < text_.size();
    return true;
  }

  uint32_t sizeHint() const override { return static_cast<uint32_t>(text_.size()); }

private:
  std::string text_;
  size_t position_ = 0;
  uint32_t piece_;
};

} // namespace

OwnedResponseStream makeTextStream(std::string text, uint32_t pieceSize) {
  return OwnedResponseStream(new TextStream(std::move(text), pieceSize));
}

uint8_t hostStreamRead(void* stream, void* buffer, uint32_t* count, uint8_t* more) noexcept {
  if (stream == nullptr || count == nullptr || (buffer == nullptr && *count != 0)) {
    if (count != nullptr) {
      *count = 0;
    }
    return 0;
  }
  try {
    bool follows = more != nullptr && *more != 0;
    const bool ok = static_cast<ResponseStream*>(stream)->read(buffer, *count, follows);
    if (!ok) {
      *count = 0;
    }
    if (more != nullptr) {
      *more = ok && follows ? 1 : 0;
    }
    return ok ? 1 : 0;
  } catch (...) {
    *count = 0;
    if (more != nullptr) {
      *more = 0;
    }
    return 0;
  }
}

void hostStreamRelease(void* stream) noexcept {
  try {
    ResponseStreamDestroyer()(static_cast<ResponseStream*>(stream));
  } catch (...) {
    // A destructor that throws leaves nothing we could answer with; the stream is gone either way.
  }
}

} // namespace tav
