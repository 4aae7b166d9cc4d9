#include "platform/temp_names.hpp"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace kelvra::os {

namespace {

constexpr char temp_tag[] = ".kelvra-tmp";

std::atomic<std::uint64_t> name_sequence{0};

// `name` followed by `tail`, the name cut so that the whole fits.
void name_with_tail(const char *name, const char *tail, int tail_length, char (&out)[file_name_capacity]) noexcept {
    const std::size_t room = file_name_capacity - 1 - static_cast<std::size_t>(tail_length);
    std::size_t keep = std::strlen(name);
    if (keep > room) keep = room;
    std::memcpy(out, name, keep);
    std::memcpy(out + keep, tail, static_cast<std::size_t>(tail_length) + 1);
}

} // namespace

void temp_name(const char *name, std::uint64_t sequence, char (&out)[file_name_capacity]) noexcept {
    char tail[64];
    const int length = std::snprintf(tail, sizeof tail, ".%lu-%llu%s", process_number(),
                                     static_cast<unsigned long long>(sequence), temp_tag);
    name_with_tail(name, tail, length, out);
}

void fresh_temp_name(const char *name, char (&out)[file_name_capacity]) noexcept {
    temp_name(name, name_sequence.fetch_add(1, std::memory_order_relaxed), out);
}

void name_batch(FileBatch *b) noexcept {
    std::snprintf(b->token, sizeof b->token, "%lu-%llu", process_number(),
                  static_cast<unsigned long long>(name_sequence.fetch_add(1, std::memory_order_relaxed)));
}

void batch_temp_name(const FileBatch *b, const char *name, char (&out)[file_name_capacity]) noexcept {
    char tail[64];
    const int length = std::snprintf(tail, sizeof tail, ".%s%s", b->token, temp_tag);
    name_with_tail(name, tail, length, out);
}

#if defined(KELVRA_FAULT_INJECTION)
void upcoming_temp_name(const char *name, std::uint64_t ahead, char (&out)[file_name_capacity]) noexcept {
    temp_name(name, name_sequence.load(std::memory_order_relaxed) + ahead, out);
}
#endif

} // namespace kelvra::os
