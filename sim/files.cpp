#include "sim/files.h"

#include <cstring>

#include "platform/nt_names.h"
#include "sim/format.h"

namespace sim {

using format::Bool;
using format::Bytes;
using format::Dec;
using format::Handle;
using format::Hex;
using format::Ptr;
using format::Str;

SimFiles::SimFiles(Core& core) : core_(core) {
  for (const char* name : {"CreateFileA", "WriteFile", "CloseHandle", "DeviceIoControl", "CreateEventA", "ReadFile",
                           "GetFileSize", "DeleteFileA", "MoveFileExA", "GetSystemDirectoryA", "GetTempPathA",
                           "ConvertStringSecurityDescriptorToSecurityDescriptorA", "LocalFree", "GetOverlappedResult",
                           "GetFileType"}) {
    core_.faults.Allow(name);
  }
  spaces_.push_back(&devices_);
}

HANDLE SimFiles::CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                             DWORD flags, HANDLE template_file) {
  core_.Record("CreateFileA", {Str(name), Hex(access), Hex(share), Ptr(security), Hex(disposition), Hex(flags),
                               Handle(template_file)});
  if (core_.Failing("CreateFileA")) return INVALID_HANDLE_VALUE;
  if (!name || !*name) return core_.Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    return core_.Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  OpenRequest request{name, access, share, disposition, flags};
  if (security && security->lpSecurityDescriptor) {
    auto it = descriptors_.find(security->lpSecurityDescriptor);
    if (it == descriptors_.end()) {
      throw NotSimulated("CreateFileA with a security descriptor not made from text by this PC");
    }
    request.security = *it->second;
  }
  NameSpace* space = SpaceOf(request.name);
  if (!space) return core_.Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  std::shared_ptr<FileObject> file;
  const DWORD error = space->Open(request, file);
  if (!file) return core_.Fail(error, INVALID_HANDLE_VALUE);
  core_.last_error = error;
  return core_.handles.Add(std::move(file));
}

NameSpace* SimFiles::SpaceOf(std::string_view name) const {
  for (NameSpace* space : spaces_) {
    if (space->Owns(name)) return space;
  }
  return nullptr;
}

void SimFiles::Complete(LPOVERLAPPED overlapped, DWORD error, DWORD bytes) {
  if (!overlapped) return;
  overlapped->Internal = static_cast<ULONG_PTR>(static_cast<ULONG>(error ? nt::kStatusUnsuccessful : nt::kStatusSuccess));
  overlapped->InternalHigh = bytes;
  if (Event* event = core_.handles.FindAs<Event>(overlapped->hEvent)) event->signalled = true;
}

BOOL SimFiles::WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
  core_.Record("WriteFile", {Handle(file), Bytes(buffer, count), Dec(count), Ptr(written), Ptr(overlapped)});
  if (!written && !overlapped) {
    throw AccessViolation("WriteFile: lpNumberOfBytesWritten is null and there is no OVERLAPPED");
  }
  if (written) *written = 0;
  if (core_.Failing("WriteFile")) return FALSE;
  auto* object = core_.handles.FindAs<FileObject>(file);
  if (!object) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!buffer && count) return core_.Fail(ERROR_NOACCESS, FALSE);
  if (!object->CanWrite()) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  if (object->Overlapped() && !overlapped) return core_.Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (overlapped) object->MoveTo(overlapped->Offset | (std::uint64_t{overlapped->OffsetHigh} << 32));
  DWORD done = 0;
  const DWORD error = object->Write(buffer, count, done);
  if (done > count) throw std::logic_error("sim: a device wrote more than it was given");
  if (written) *written = done;
  Complete(overlapped, error, done);
  return error ? core_.Fail(error, FALSE) : TRUE;
}

BOOL SimFiles::ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) {
  core_.Record("ReadFile", {Handle(file), Ptr(buffer), Dec(count), Ptr(read), Ptr(overlapped)});
  if (!read && !overlapped) throw AccessViolation("ReadFile: lpNumberOfBytesRead is null and there is no OVERLAPPED");
  if (read) *read = 0;
  if (core_.Failing("ReadFile")) return FALSE;
  auto* object = core_.handles.FindAs<FileObject>(file);
  if (!object) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!buffer && count) return core_.Fail(ERROR_NOACCESS, FALSE);
  if (!object->CanRead()) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  if (object->Overlapped() && !overlapped) return core_.Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (overlapped) object->MoveTo(overlapped->Offset | (std::uint64_t{overlapped->OffsetHigh} << 32));
  DWORD done = 0;
  const DWORD error = object->Read(buffer, count, done);
  if (done > count) throw std::logic_error("sim: a file read more than its buffer holds");
  if (read) *read = done;
  Complete(overlapped, error, done);
  return error ? core_.Fail(error, FALSE) : TRUE;
}

DWORD SimFiles::GetFileSize(HANDLE file, LPDWORD size_high) {
  core_.Record("GetFileSize", {Handle(file), Ptr(size_high)});
  if (core_.Failing("GetFileSize")) return INVALID_FILE_SIZE;
  auto* object = core_.handles.FindAs<FileObject>(file);
  if (!object) return core_.Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  std::uint64_t size = 0;
  if (DWORD error = object->Size(size)) return core_.Fail(error, INVALID_FILE_SIZE);
  if (size_high) {
    *size_high = static_cast<DWORD>(size >> 32);
  } else if (size >> 32) {
    throw NotSimulated("GetFileSize of a file of 4 GB or more without lpFileSizeHigh");
  }
  const auto low = static_cast<DWORD>(size);
  // A size whose low part reads as the failure value is told apart by a last error of 0.
  if (low == INVALID_FILE_SIZE) core_.last_error = ERROR_SUCCESS;
  return low;
}

BOOL SimFiles::GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
  core_.Record("GetOverlappedResult", {Handle(file), Ptr(overlapped), Ptr(transferred), Dec(wait)});
  if (!overlapped || !transferred) throw AccessViolation("GetOverlappedResult without a record or a count");
  if (core_.Failing("GetOverlappedResult")) return FALSE;
  if (!core_.handles.FindAs<FileObject>(file)) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  return overlapped->Internal == nt::kStatusSuccess ? TRUE : core_.Fail(ERROR_GEN_FAILURE, FALSE);
}

DWORD SimFiles::GetFileType(HANDLE file) {
  core_.Record("GetFileType", {Handle(file)});
  const auto* object = core_.handles.FindAs<FileObject>(file);
  if (!object) return core_.Fail(ERROR_INVALID_HANDLE, FILE_TYPE_UNKNOWN);
  core_.last_error = ERROR_SUCCESS;
  return object->Type();
}

BOOL SimFiles::DeleteFileA(LPCSTR name) {
  core_.Record("DeleteFileA", {Str(name)});
  if (core_.Failing("DeleteFileA")) return FALSE;
  if (!name || !*name) return core_.Fail(ERROR_PATH_NOT_FOUND, FALSE);
  NameSpace* space = SpaceOf(name);
  if (!space) return core_.Fail(ERROR_FILE_NOT_FOUND, FALSE);
  if (DWORD error = space->Delete(name)) return core_.Fail(error, FALSE);
  return TRUE;
}

BOOL SimFiles::MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
  core_.Record("MoveFileExA", {Str(from), Str(to), Hex(flags)});
  if (core_.Failing("MoveFileExA")) return FALSE;
  if (flags != MOVEFILE_REPLACE_EXISTING) throw NotSimulated("MoveFileExA without MOVEFILE_REPLACE_EXISTING alone");
  if (!from || !to || !*from || !*to) return core_.Fail(ERROR_PATH_NOT_FOUND, FALSE);
  if (!disk_ || SpaceOf(from) != disk_ || SpaceOf(to) != disk_) throw NotSimulated("MoveFileExA of a device");
  if (DWORD error = disk_->Rename(from, to)) return core_.Fail(error, FALSE);
  return TRUE;
}

UINT SimFiles::GetSystemDirectoryA(LPSTR buffer, UINT size) {
  core_.Record("GetSystemDirectoryA", {Ptr(buffer), Dec(size)});
  if (core_.Failing("GetSystemDirectoryA")) return 0;
  if (!disk_) throw NotSimulated("GetSystemDirectoryA without a disk");
  const std::string& path = disk_->SystemDirectory();
  const auto length = static_cast<UINT>(path.size());
  if (size <= length) return length + 1;
  if (!buffer) throw AccessViolation("GetSystemDirectoryA: lpBuffer is null");
  std::memcpy(buffer, path.c_str(), length + 1);
  return length;
}

DWORD SimFiles::GetTempPathA(DWORD size, LPSTR buffer) {
  core_.Record("GetTempPathA", {Dec(size), Ptr(buffer)});
  if (core_.Failing("GetTempPathA")) return 0;
  const std::string path = "C:\\Windows\\Temp\\";
  const auto length = static_cast<DWORD>(path.size());
  if (size <= length) return length + 1;
  if (!buffer) throw AccessViolation("GetTempPathA: lpBuffer is null");
  std::memcpy(buffer, path.c_str(), length + 1);
  return length;
}

BOOL SimFiles::ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR text, DWORD revision,
                                                                    PSECURITY_DESCRIPTOR* descriptor, PULONG size) {
  core_.Record("ConvertStringSecurityDescriptorToSecurityDescriptorA",
               {Str(text), Dec(revision), Ptr(descriptor), Ptr(size)});
  if (core_.Failing("ConvertStringSecurityDescriptorToSecurityDescriptorA")) return FALSE;
  if (!text || !descriptor || revision != SDDL_REVISION_1) return core_.Fail(ERROR_INVALID_PARAMETER, FALSE);
  // The text stands for the descriptor: the disk keeps it with the files made with it.
  auto kept = std::make_unique<std::string>(text);
  *descriptor = kept.get();
  if (size) *size = static_cast<ULONG>(kept->size() + 1);
  descriptors_.emplace(kept.get(), std::move(kept));
  return TRUE;
}

HLOCAL SimFiles::LocalFree(HLOCAL memory) {
  core_.Record("LocalFree", {Ptr(memory)});
  if (!memory) return nullptr;
  if (!descriptors_.erase(memory)) return core_.Fail(ERROR_INVALID_HANDLE, memory);
  return nullptr;
}

BOOL SimFiles::CloseHandle(HANDLE object) {
  core_.Record("CloseHandle", {Handle(object)});
  if (core_.Failing("CloseHandle")) return FALSE;
  if (!core_.handles.Close(object)) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}

BOOL SimFiles::DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                               LPDWORD returned, LPOVERLAPPED overlapped) {
  core_.Record("DeviceIoControl", {Handle(device), Hex(code), Bytes(in, in_size), Dec(in_size), Ptr(out), Dec(out_size),
                                   Ptr(returned), Ptr(overlapped)});
  if (!returned && !overlapped) {
    throw AccessViolation("DeviceIoControl: lpBytesReturned is null and there is no OVERLAPPED");
  }
  if (core_.Failing("DeviceIoControl")) return FALSE;
  auto* object = core_.handles.FindAs<FileObject>(device);
  if (!object) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  // The I/O manager checks the access that the control code asks of the handle (its bits 14
  // and 15: FILE_READ_ACCESS, FILE_WRITE_ACCESS).
  const DWORD required = (code >> 14) & 3;
  if (((required & 1) && !object->CanRead()) || ((required & 2) && !object->CanWrite())) {
    return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  }
  if ((!in && in_size) || (!out && out_size)) return core_.Fail(ERROR_NOACCESS, FALSE);
  if (object->Overlapped() && !overlapped) return core_.Fail(ERROR_INVALID_PARAMETER, FALSE);
  DWORD done = 0;
  const DWORD error = object->IoControl(code, in, in_size, out, out_size, done);
  if (done > out_size) throw std::logic_error("sim: a device returned more than its output buffer holds");
  if (returned) *returned = done;
  Complete(overlapped, error, done);
  return error ? core_.Fail(error, FALSE) : TRUE;
}

HANDLE SimFiles::CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manual_reset, BOOL initial_state, LPCSTR name) {
  core_.Record("CreateEventA", {Ptr(security), Bool(manual_reset), Bool(initial_state), Str(name)});
  if (core_.Failing("CreateEventA")) return nullptr;
  const std::string wanted = name ? name : "";
  if (!wanted.empty()) {
    // Names are compared with case, as Windows does for kernel objects.
    for (HANDLE open : core_.handles.Open()) {
      const Event* event = core_.handles.FindAs<Event>(open);
      if (event && event->name == wanted) {
        HANDLE again = core_.handles.Add(core_.handles.Share(open));
        core_.last_error = ERROR_ALREADY_EXISTS;
        return again;
      }
    }
  }
  core_.last_error = ERROR_SUCCESS;
  return core_.handles.Add(std::make_shared<Event>(manual_reset != FALSE, initial_state != FALSE, wanted));
}

}  // namespace sim
