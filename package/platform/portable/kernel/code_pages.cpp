// Portable KERNEL32: MultiByteToWideChar for code page 1252, the ANSI code page of
// a Western Windows (also asked for as CP_ACP).
#include "../presenter_kit/code_page.h"
#include "../win32_portable.h"

int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR bytes, int count, LPWSTR wide,
                               int room) {
    if ((code_page != CP_ACP && code_page != 1252) || flags != 0 || bytes == nullptr ||
        count == 0 || count < -1 || room < 0 || (room > 0 && wide == nullptr))
        return 0;
    // A count of -1 takes the text up to and with its terminating zero.
    size_t length = count == -1 ? std::char_traits<char>::length(bytes) + 1 : size_t(count);
    // Every byte is one UTF-16 unit: the characters of 1252 all lie in the first plane.
    if (room == 0) return length > size_t(INT32_MAX) ? 0 : int(length);
    if (length > size_t(room)) return 0;
    for (size_t i = 0; i < length; ++i)
        wide[i] = WCHAR(portable::unicode_of_cp1252(static_cast<unsigned char>(bytes[i])));
    return int(length);
}
