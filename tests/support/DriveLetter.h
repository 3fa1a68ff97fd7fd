#pragma once
// A second drive letter for a folder while it lives, as `subst` makes one: the same files under
// another path. Windows takes it from DefineDosDeviceW. Wine accepts that definition but does not
// open files through it; there the letter is made as Wine's own configuration makes drives, by its
// mount manager, which links the letter to the folder's Unix path in the prefix's dosdevices.

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

class SecondDriveLetter {
public:
    explicit SecondDriveLetter(const std::wstring& folder) {
        const DWORD used = GetLogicalDrives();
        for (wchar_t letter = L'Q'; letter <= L'Y' && !letter_; ++letter)
            if (!(used & (1u << (letter - L'A'))))
                letter_ = letter;
        if (!letter_)
            return;
        if (DefineDosDeviceW(0, Device().c_str(), folder.c_str())) {
            if (Reachable())
                return;
            DefineDosDeviceW(DDD_REMOVE_DEFINITION, Device().c_str(), nullptr);
        }
        if (DefineInWine(folder) && Reachable()) {
            wine_ = true;
            return;
        }
        letter_ = 0;
    }
    SecondDriveLetter(const SecondDriveLetter&) = delete;
    SecondDriveLetter& operator=(const SecondDriveLetter&) = delete;
    ~SecondDriveLetter() {
        if (wine_)
            DefineInWine({});
        else if (letter_)
            DefineDosDeviceW(DDD_REMOVE_DEFINITION, Device().c_str(), nullptr);
    }

    bool ok() const { return letter_ != 0; }
    // The folder's path through the new letter: "Q:\".
    std::wstring Root() const { return Device() + L"\\"; }

private:
    std::wstring Device() const { return std::wstring(1, letter_) + L":"; }
    bool Reachable() const {
        const DWORD attributes = GetFileAttributesW(Root().c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    // Wine's mount manager request (a Wine extension of IOCTL_MOUNTMGR_*): a drive letter for a
    // Unix path, or, for DRIVE_NO_ROOT_DIR, no drive at all.
    struct UnixDrive {
        ULONG size;
        ULONG type;
        ULONG fsType;
        DWORD serial;
        ULONGLONG unixDevice;
        WCHAR letter;
        USHORT mountPointOffset;
        USHORT deviceOffset;
        USHORT labelOffset;
    };
    static constexpr DWORD kDefineUnixDrive =
        CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

    // An empty folder takes the letter away again.
    bool DefineInWine(const std::wstring& folder) const {
        using UnixName = char*(CDECL*)(const wchar_t*);
        const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
        if (!unixName)
            return false;
        std::string mountPoint;
        if (!folder.empty()) {
            char* name = unixName(folder.c_str());
            if (!name)
                return false;
            mountPoint = name;
            HeapFree(GetProcessHeap(), 0, name);
        }
        std::vector<char> request(sizeof(UnixDrive) + mountPoint.size() + 1, '\0');
        UnixDrive drive{};
        drive.size = static_cast<ULONG>(request.size());
        drive.type = folder.empty() ? DRIVE_NO_ROOT_DIR : DRIVE_FIXED;
        drive.letter = static_cast<WCHAR>(letter_ - L'A' + L'a');
        if (!folder.empty()) {
            drive.mountPointOffset = sizeof(UnixDrive);
            std::memcpy(request.data() + sizeof(UnixDrive), mountPoint.c_str(),
                        mountPoint.size() + 1);
        }
        std::memcpy(request.data(), &drive, sizeof(drive));
        const HANDLE manager =
            CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (manager == INVALID_HANDLE_VALUE)
            return false;
        DWORD returned = 0;
        const bool done =
            DeviceIoControl(manager, kDefineUnixDrive, request.data(),
                            static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
        CloseHandle(manager);
        return done;
    }

    wchar_t letter_ = 0;
    bool wine_ = false;
};
