#include "storage/engine/files/mapped_file.h"

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/vfs.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace snyltdyr::engine {
namespace {

// The copy in progress on this thread, where a fault it causes jumps back to. Volatile,
// and fenced around the copy: the compiler must not drop or move the stores around a
// memcpy that, as far as it knows, cannot read them.
thread_local sigjmp_buf* volatile t_copy_guard = nullptr;
std::atomic<bool> g_views_allowed{true};
struct sigaction g_previous_bus_action;

void OnBusError(int signal_number, siginfo_t* info, void* context) {
  if (sigjmp_buf* guard = t_copy_guard) {
    t_copy_guard = nullptr;
    siglongjmp(*guard, 1);
  }
  // Not a copy of ours: whoever handled the fault before handles it, or the default.
  const struct sigaction& before = g_previous_bus_action;
  if ((before.sa_flags & SA_SIGINFO) != 0 && before.sa_sigaction != nullptr) {
    before.sa_sigaction(signal_number, info, context);
  } else if (before.sa_handler != SIG_IGN && before.sa_handler != SIG_DFL && before.sa_handler != nullptr) {
    before.sa_handler(signal_number);
  } else {
    ::signal(SIGBUS, SIG_DFL);
    ::raise(SIGBUS);
  }
}

bool InstallBusHandler() {
  static std::once_flag once;
  static bool installed = false;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    installed = ::sigaction(SIGBUS, &action, &g_previous_bus_action) == 0;
  });
  return installed;
}

// File systems of this machine (statfs magic numbers); any other is not viewed.
constexpr long kLocalFileSystems[] = {
    0xEF53,      // ext2, ext3, ext4
    0x58465342,  // xfs
    0x9123683E,  // btrfs
    0x01021994,  // tmpfs
    0x794C7630,  // overlayfs
    0xF2F52010,  // f2fs
};

}  // namespace

MappedFile::~MappedFile() { Unmap(); }

void MappedFile::SetAllowed(bool allowed) { g_views_allowed = allowed; }

bool MappedFile::LocalFileSystem(int fd) {
  struct statfs info {};
  if (::fstatfs(fd, &info) != 0) return false;
  for (long type : kLocalFileSystems)
    if (static_cast<long>(info.f_type) == type) return true;
  return false;
}

bool MappedFile::Map(int fd, uint64_t length) {
  Unmap();
  if (!g_views_allowed || length == 0 || length > SIZE_MAX || !LocalFileSystem(fd) ||
      !InstallBusHandler()) {
    return false;
  }
  void* view = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return false;
  base_ = static_cast<const uint8_t*>(view);
  length_ = length;
  return true;
}

bool MappedFile::Cover(int fd, uint64_t length) {
  if (refused_) return false;
  if (length <= length_) return true;
  refused_ = !Map(fd, length);
  return !refused_;
}

void MappedFile::Unmap() {
  if (base_ != nullptr) ::munmap(const_cast<uint8_t*>(base_), static_cast<size_t>(length_));
  base_ = nullptr;
  length_ = 0;
}

bool MappedFile::Copy(uint64_t offset, size_t size, void* out) const {
  if (base_ == nullptr || offset > length_ || size > length_ - offset) return false;
  // The signal mask is not saved (that would be a system call per copy): the handler is
  // installed with SA_NODEFER, so the mask is the same after a jump out of it.
  sigjmp_buf guard;
  if (sigsetjmp(guard, 0) != 0) return false;  // the file was cut short under the view
  t_copy_guard = &guard;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(out, base_ + offset, size);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  t_copy_guard = nullptr;
  return true;
}

}  // namespace snyltdyr::engine
