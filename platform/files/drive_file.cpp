// Open drive files: one POSIX descriptor each, and a table of the open ones
// by file identity so that sharing modes can be checked as Windows does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <list>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/files/drive_files.h"
#include "platform/files/files.h"
#include "platform/files/win_files.h"

namespace platform::files::detail {

namespace {

struct FileIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const FileIdentity&) const = default;
};

struct OpenEntry {
    FileIdentity identity;
    bool bRead;
    bool bWrite;
    DWORD share;
};

std::mutex g_tableLock;  // held only for table look-ups and opens, never across a wait
std::list<OpenEntry> g_openFiles;

std::mutex g_observerLock;
ClosedWrittenFileObserver g_observer;

// An open without read or write access neither holds nor meets a sharing mode.
bool Conflicts(const OpenEntry& open, bool bRead, bool bWrite, DWORD share) {
    if (!(open.bRead || open.bWrite) || !(bRead || bWrite)) return false;
    return (bRead && !(open.share & FILE_SHARE_READ)) || (bWrite && !(open.share & FILE_SHARE_WRITE)) ||
           (open.bRead && !(share & FILE_SHARE_READ)) || (open.bWrite && !(share & FILE_SHARE_WRITE));
}

class CDriveFile : public FileObject {
public:
    CDriveFile(int fd, std::list<OpenEntry>::iterator entry, const DrivePath& path)
        : m_fd(fd), m_entry(entry), m_path(path) {}

    BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override {
        *done = 0;
        if (!m_entry->bRead) return Fail(ERROR_ACCESS_DENIED);
        if (DWORD error = TakeFault(FaultKind::Read, m_path.strKey)) return Fail(error);
        ssize_t n;
        do {
            n = ov ? ::pread(m_fd, buffer, size, Offset(ov)) : ::read(m_fd, buffer, size);
        } while (n < 0 && errno == EINTR);
        if (n < 0) return Fail(ErrorFromErrno(errno));
        *done = static_cast<DWORD>(n);
        if (ov) {
            if (n == 0 && size > 0) return Fail(ERROR_HANDLE_EOF);
            CompleteOverlapped(ov, ERROR_SUCCESS, *done);
        }
        return TRUE;
    }

    BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override {
        *done = 0;
        if (!m_entry->bWrite) return Fail(ERROR_ACCESS_DENIED);
        if (DWORD error = TakeFault(FaultKind::Write, m_path.strKey)) return Fail(error);
        const char* p = static_cast<const char*>(buffer);
        off_t offset = ov ? Offset(ov) : 0;
        while (*done < size) {
            ssize_t n = ov ? ::pwrite(m_fd, p + *done, size - *done, offset + *done)
                           : ::write(m_fd, p + *done, size - *done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Fail(n < 0 ? ErrorFromErrno(errno) : ERROR_DISK_FULL);
            *done += static_cast<DWORD>(n);
            m_bWritten = true;
        }
        if (ov) CompleteOverlapped(ov, ERROR_SUCCESS, *done);
        return TRUE;
    }

    void OnClose() override {
        {
            std::lock_guard<std::mutex> lk(g_tableLock);
            g_openFiles.erase(m_entry);
        }
        if (m_bWritten) Report();
        m_closeError = TakeFault(FaultKind::Close, m_path.strKey);
        if (::close(m_fd) != 0 && !m_closeError && errno != EINTR) m_closeError = ErrorFromErrno(errno);
    }

    DWORD CloseError() const override { return m_closeError; }

    bool Size(ULONGLONG* size) const {
        if (DWORD error = TakeFault(FaultKind::Size, m_path.strKey)) {
            SetLastError(error);
            return false;
        }
        struct stat st;
        if (::fstat(m_fd, &st) != 0) {
            SetLastError(ErrorFromErrno(errno));
            return false;
        }
        *size = static_cast<ULONGLONG>(st.st_size);
        return true;
    }

private:
    static BOOL Fail(DWORD error) {
        SetLastError(error);
        return FALSE;
    }

    static off_t Offset(const OVERLAPPED* ov) {
        return static_cast<off_t>((static_cast<ULONGLONG>(ov->OffsetHigh) << 32) | ov->Offset);
    }

    void Report() {
        ClosedWrittenFileObserver observer;
        {
            std::lock_guard<std::mutex> lk(g_observerLock);
            observer = g_observer;
        }
        if (!observer) return;
        // The handle may be write-only, so the content is read through a descriptor of its own.
        int fd = ::open(m_path.strHost.c_str(), O_RDONLY | O_CLOEXEC);
        std::string content;
        char chunk[4096];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, chunk, sizeof chunk)) > 0;) content.append(chunk, n);
        if (fd >= 0) ::close(fd);
        observer(m_path.strWindows, content);
    }

    int m_fd;
    std::list<OpenEntry>::iterator m_entry;
    DrivePath m_path;
    bool m_bWritten = false;
    DWORD m_closeError = ERROR_SUCCESS;
};

bool Identify(const std::string& host, FileIdentity* identity, bool* isFolder) {
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) return false;
    *identity = {st.st_dev, st.st_ino};
    *isFolder = S_ISDIR(st.st_mode);
    return true;
}

HANDLE Refuse(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE Open(const OpenRequest& request) {
    DrivePath path;
    if (DWORD error = ResolveDrivePath(request.name, &path)) return Refuse(error);
    if (request.creation < CREATE_NEW || request.creation > TRUNCATE_EXISTING) return Refuse(ERROR_INVALID_PARAMETER);
    if (DWORD error = TakeFault(FaultKind::Open, path.strKey)) return Refuse(error);
    bool bRead = request.access & GENERIC_READ;
    bool bWrite = request.access & GENERIC_WRITE;
    if (request.creation == TRUNCATE_EXISTING && !bWrite) return Refuse(ERROR_INVALID_PARAMETER);

    std::lock_guard<std::mutex> lk(g_tableLock);
    FileIdentity identity{};
    bool isFolder = false;
    bool exists = Identify(path.strHost, &identity, &isFolder);
    if (isFolder) return Refuse(ERROR_ACCESS_DENIED);
    if (exists && request.creation == CREATE_NEW) return Refuse(ERROR_FILE_EXISTS);
    if (!exists && (request.creation == OPEN_EXISTING || request.creation == TRUNCATE_EXISTING))
        return Refuse(ERROR_FILE_NOT_FOUND);
    if (exists) {
        // Checked before the file is touched, so a refused open truncates nothing.
        for (const auto& open : g_openFiles)
            if (open.identity == identity && Conflicts(open, bRead, bWrite, request.share))
                return Refuse(ERROR_SHARING_VIOLATION);
    }

    int flags = O_CLOEXEC | (bRead && bWrite ? O_RDWR : bWrite ? O_WRONLY : O_RDONLY);
    if (request.creation == CREATE_NEW) flags |= O_CREAT | O_EXCL;
    if (request.creation == CREATE_ALWAYS || request.creation == OPEN_ALWAYS) flags |= O_CREAT;
    if (request.creation == CREATE_ALWAYS || request.creation == TRUNCATE_EXISTING) flags |= O_TRUNC;
    int fd = ::open(path.strHost.c_str(), flags, 0666);
    if (fd < 0) return Refuse(ErrorFromErrno(errno));
    struct stat st;
    ::fstat(fd, &st);
    auto entry = g_openFiles.insert(g_openFiles.end(), {{st.st_dev, st.st_ino}, bRead, bWrite, request.share});
    HANDLE handle = AddHandle(std::make_shared<CDriveFile>(fd, entry, path));
    bool reopened = exists && (request.creation == CREATE_ALWAYS || request.creation == OPEN_ALWAYS);
    SetLastError(reopened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

}  // namespace

bool OpenDriveFile(const OpenRequest& request, HANDLE* result) {
    if (!IsDrivePath(request.name)) return false;
    *result = Open(request);
    return true;
}

BOOL DeleteDriveFile(const DrivePath& path) {
    std::lock_guard<std::mutex> lk(g_tableLock);
    FileIdentity identity{};
    bool isFolder = false;
    if (!Identify(path.strHost, &identity, &isFolder)) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    if (isFolder) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    for (const auto& open : g_openFiles) {
        if (open.identity == identity && !(open.share & FILE_SHARE_DELETE)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
    }
    if (::unlink(path.strHost.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

ULONGLONG DriveFileSize(HANDLE file, bool* ok) {
    auto drive = FindHandleAs<CDriveFile>(file);
    ULONGLONG size = 0;
    if (!drive) SetLastError(ERROR_INVALID_HANDLE);
    *ok = drive && drive->Size(&size);
    return size;
}

std::size_t OpenFileCount() {
    std::lock_guard<std::mutex> lk(g_tableLock);
    return g_openFiles.size();
}

}  // namespace platform::files::detail

namespace platform::files {

void SetClosedWrittenFileObserver(ClosedWrittenFileObserver observer) {
    std::lock_guard<std::mutex> lk(detail::g_observerLock);
    detail::g_observer = std::move(observer);
}

}  // namespace platform::files
