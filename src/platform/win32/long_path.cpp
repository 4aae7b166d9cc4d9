#include "platform/win32/long_path.hpp"

#include <cwchar>

#include "platform/win32/win.hpp"

namespace kelvra::os {

namespace {

bool starts_with(const wchar_t *text, const wchar_t *prefix) noexcept {
    for (; *prefix != L'\0'; ++text, ++prefix)
        if (*text != *prefix) return false;
    return true;
}

} // namespace

std::size_t long_path(const char *path, wchar_t (&out)[long_path_capacity]) noexcept {
    wchar_t wide[long_path_capacity];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, long_path_capacity) == 0) return 0;
    wchar_t full[long_path_capacity];
    const DWORD full_length = GetFullPathNameW(wide, long_path_capacity, full, nullptr);
    if (full_length == 0 || full_length >= long_path_capacity) return 0;
    const wchar_t *rest = full;
    const wchar_t *prefix = L"\\\\?\\";
    if (starts_with(full, L"\\\\?\\") || starts_with(full, L"\\\\.\\")) {
        prefix = L"";
    } else if (starts_with(full, L"\\\\")) {
        prefix = L"\\\\?\\UNC\\";
        rest = full + 2;
    }
    const std::size_t prefix_length = std::wcslen(prefix), rest_length = std::wcslen(rest);
    if (prefix_length + rest_length >= long_path_capacity) return 0;
    std::wmemcpy(out, prefix, prefix_length);
    std::wmemcpy(out + prefix_length, rest, rest_length + 1);
    return prefix_length + rest_length;
}

} // namespace kelvra::os
