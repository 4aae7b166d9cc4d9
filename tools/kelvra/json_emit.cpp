#include "json_emit.hpp"

#include <algorithm>
#include <cstring>

#include "io.hpp"

namespace kelvra::cli {

std::string &CanonicalEmitter::target() {
    for (auto frame = frames_.rbegin(); frame != frames_.rend(); ++frame)
        if (frame->object) return frame->members.back().text;
    return out_;
}

void CanonicalEmitter::flush(size_t from) {
    if (out_.size() < from || out_.empty()) return;
    if (!write_out(out_.data(), out_.size())) write_failed_ = true;
    out_.clear();
}

// The ", " before an array's second and later items; a member's comes when
// the object is written.
void CanonicalEmitter::separate() {
    if (frames_.empty() || frames_.back().object) return;
    if (frames_.back().count++ != 0) target() += ", ";
}

// One token through the library: parsed alone, written alone. A name is
// written as the library writes member names: up to its first NUL.
kelvra_status CanonicalEmitter::render(const uint8_t *token, uint64_t length, bool as_name, std::string &order) {
    arena_.resize(2 * length + 256);
    kelvra_json_value *value = nullptr;
    if (const kelvra_status s = kelvra_json_parse(token, length, arena_.data(), arena_.size(), &value)) return s;
    if (as_name) {
        const auto *bytes = reinterpret_cast<const char *>(value->as.string.bytes);
        const size_t cut = strnlen(bytes, value->as.string.length);
        order.assign(bytes, cut);
        kelvra_json_builder builder;
        kelvra_json_builder_init(&builder, arena_.data() + arena_.size() / 2, arena_.size() - arena_.size() / 2);
        value = kelvra_json_new_string(&builder, value->as.string.bytes, static_cast<uint32_t>(cut));
        if (value == nullptr) return KELVRA_ERR_CAPACITY;
    }
    workspace_.resize(kelvra_json_write_arena_bytes(value) + 1);
    text_.resize(6 * length + 64); // an escape takes at most six bytes per byte
    uint64_t written = 0;
    if (const kelvra_status s =
            kelvra_json_write_ws(value, text_.data(), text_.size(), &written, workspace_.data(), workspace_.size()))
        return s;
    target().append(reinterpret_cast<const char *>(text_.data()), written);
    return KELVRA_OK;
}

kelvra_status CanonicalEmitter::scalar(const uint8_t *token, uint64_t length) {
    separate();
    std::string unused;
    const kelvra_status s = render(token, length, false, unused);
    flush(1u << 16);
    return s;
}

kelvra_status CanonicalEmitter::name(const uint8_t *token, uint64_t length) {
    Frame &frame = frames_.back();
    frame.members.emplace_back();
    ++frame.count;
    std::string order;
    const kelvra_status s = render(token, length, true, order);
    Member &member = frame.members.back();
    member.order = std::move(order);
    member.text += ": ";
    return s;
}

void CanonicalEmitter::open(bool object) {
    separate();
    target() += object ? '{' : '[';
    frames_.push_back(Frame{object, 0, {}});
}

void CanonicalEmitter::close() {
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    std::string &to = target();
    if (frame.object) {
        std::stable_sort(frame.members.begin(), frame.members.end(),
                         [](const Member &a, const Member &b) { return a.order < b.order; });
        // Outside every object the members go straight out, not through a copy.
        const bool outermost = &to == &out_;
        for (size_t i = 0; i < frame.members.size(); ++i) {
            if (i != 0) to += ", ";
            if (outermost) {
                flush(0);
                if (!write_out(frame.members[i].text.data(), frame.members[i].text.size())) write_failed_ = true;
            } else {
                to += frame.members[i].text;
            }
            std::string().swap(frame.members[i].text); // each member is given back once it is out
        }
    }
    to += frame.object ? '}' : ']';
    flush(1u << 16);
}

bool CanonicalEmitter::finish() {
    out_ += '\n';
    if (!write_out(out_.data(), out_.size())) write_failed_ = true;
    out_.clear();
    return !write_failed_;
}

} // namespace kelvra::cli
