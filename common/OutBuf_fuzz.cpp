// Random sequences of COutBuf operations, checked after every step against a
// plain model: a std::string for the content and the growth rule for the
// capacity.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/OutBuf.h"

namespace {

struct Model {
    std::string content;
    int64_t capacity = 0;
    int32_t granule = 256;

    void GrowFor(int64_t needed) {
        if (needed <= capacity) return;
        const int64_t step = granule > 0 ? granule : 1;
        capacity = (needed + step - 1) / step * step;
    }
    void Append(const std::string& bytes) {
        if (bytes.empty()) return;
        GrowFor(static_cast<int64_t>(content.size() + bytes.size()));
        content += bytes;
    }
};

// Reads the operation stream; out of bytes reads as zeros.
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t Left() const { return size; }
    uint8_t Byte() {
        if (!size) return 0;
        --size;
        return *data++;
    }
    std::string Bytes(size_t count) {
        count = count < size ? count : size;
        std::string taken(reinterpret_cast<const char*>(data), count);
        data += count;
        size -= count;
        return taken;
    }
};

void Check(const COutBuf& buffer, const Model& model) {
    if (buffer.GetLength() != static_cast<int32_t>(model.content.size())) std::abort();
    if (buffer.GetCapacity() != model.capacity) std::abort();
    if (buffer.GetLength() < 0 || buffer.GetLength() > buffer.GetCapacity()) std::abort();
    if (buffer.IsEmpty() != model.content.empty()) std::abort();
    if (!model.content.empty() && std::memcmp(buffer.GetData(), model.content.data(), model.content.size()) != 0)
        std::abort();
    if (model.capacity == 0 && buffer.GetData() != nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    COutBuf buffer;
    Model model;
    Reader in{data, size};
    while (in.Left() > 0 && model.content.size() < (1u << 20)) {
        switch (in.Byte() % 14) {
            case 0: {
                const std::string bytes = in.Bytes(in.Byte() * 4u);
                if (!buffer.Append(bytes.data(), static_cast<int32_t>(bytes.size()))) std::abort();
                model.Append(bytes);
                break;
            }
            case 1: {
                const uint8_t value = in.Byte();
                if (!buffer.AppendByte(value)) std::abort();
                model.Append(std::string(1, static_cast<char>(value)));
                break;
            }
            case 2: {
                const std::string bytes = in.Bytes(4);
                int32_t value = 0;
                for (size_t i = 0; i < bytes.size(); ++i) value |= static_cast<int32_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
                if (!buffer.AppendInt32(value)) std::abort();
                const auto bits = static_cast<uint32_t>(value);
                model.Append(std::string{static_cast<char>(bits), static_cast<char>(bits >> 8),
                                         static_cast<char>(bits >> 16), static_cast<char>(bits >> 24)});
                break;
            }
            case 3: {
                std::string text = in.Bytes(in.Byte());
                text = text.substr(0, text.find('\0'));
                if (!buffer.AppendString(text.c_str())) std::abort();
                model.Append(text);
                break;
            }
            case 4: {
                std::string text = in.Bytes(in.Byte());
                text = text.substr(0, text.find('\0'));
                const std::string repeated(static_cast<size_t>(in.Byte()) * 40, 'r');
                const int number = static_cast<int8_t>(in.Byte());
                if (!buffer.AppendFormat("%d:%s%s", number, text.c_str(), repeated.c_str())) std::abort();
                model.Append(std::to_string(number) + ":" + text + repeated);
                break;
            }
            case 5: {
                const char* text = buffer.GetString();
                if (model.content.size() == static_cast<size_t>(model.capacity)) model.GrowFor(model.capacity + 1);
                if (!text || text[model.content.size()] != '\0') std::abort();
                break;
            }
            case 6: {
                const int32_t multiple = in.Byte() % 20;
                buffer.AlignTo(multiple);
                if (multiple >= 2 && model.content.size() % multiple)
                    model.Append(std::string(multiple - model.content.size() % multiple, '\0'));
                break;
            }
            case 7: {
                const int32_t count = static_cast<int32_t>(in.Byte()) * 64;
                if (!buffer.Reserve(count)) std::abort();
                model.GrowFor(count);
                break;
            }
            case 8: {
                const int32_t granule = static_cast<int32_t>(in.Byte()) - 8;
                buffer.SetGrowStep(granule);
                model.granule = granule;
                break;
            }
            case 9:
                buffer.Clear();
                model.content.clear();
                model.capacity = 0;
                break;
            case 10: {
                const std::string copy = model.content;
                if (!buffer.AppendBuffer(buffer)) std::abort();
                model.Append(copy);
                break;
            }
            case 11: {
                const std::string bytes = in.Bytes(in.Byte());
                const int32_t room = static_cast<int32_t>(bytes.size()) + in.Byte() * 16;
                char* at = buffer.AppendRoom(room);
                if (!at) std::abort();
                model.GrowFor(std::max<int64_t>(static_cast<int64_t>(model.content.size()) + room, 1));
                std::memcpy(at, bytes.data(), bytes.size());
                if (!buffer.CommitAppended(static_cast<int32_t>(bytes.size()))) std::abort();
                model.content += bytes;
                if (buffer.CommitAppended(static_cast<int32_t>(model.capacity - model.content.size()) + 1)) std::abort();
                break;
            }
            case 12:
                buffer.Reset();
                model.content.clear();
                break;
            case 13: {
                const std::string bytes = in.Bytes(in.Byte());
                if (!buffer.Prepend(bytes.data(), static_cast<int32_t>(bytes.size()))) std::abort();
                if (!bytes.empty()) {
                    model.GrowFor(static_cast<int64_t>(model.content.size() + bytes.size()));
                    model.content.insert(0, bytes);
                }
                break;
            }
            default: {
                const int32_t count = -static_cast<int32_t>(in.Byte()) - 1;
                if (buffer.Append("x", count)) std::abort();
                break;
            }
        }
        Check(buffer, model);
    }
    return 0;
}
