// A SQLite VFS over the default one whose writes fail with SQLITE_FULL once a
// byte budget is spent, as a disk that fills up mid-write would. While it
// lives it is the default VFS, so code that opens databases without naming a
// VFS writes through it.
#pragma once

#include <sqlite3.h>

#include <cstring>
#include <stdexcept>

namespace lumenfolio::testing {

class FullDiskVfs {
 public:
  explicit FullDiskVfs(sqlite3_int64 budget)
      : previous_(sqlite3_vfs_find(nullptr)), remaining_(budget) {
    vfs_.iVersion = 2;
    vfs_.szOsFile = static_cast<int>(sizeof(File)) + previous_->szOsFile;
    vfs_.mxPathname = previous_->mxPathname;
    vfs_.zName = "lumenfolio-full-disk";
    vfs_.pAppData = this;
    vfs_.xOpen = &open;
    vfs_.xDelete = [](sqlite3_vfs* vfs, const char* name, int syncDir) {
      return real(vfs)->xDelete(real(vfs), name, syncDir);
    };
    vfs_.xAccess = [](sqlite3_vfs* vfs, const char* name, int flags, int* result) {
      return real(vfs)->xAccess(real(vfs), name, flags, result);
    };
    vfs_.xFullPathname = [](sqlite3_vfs* vfs, const char* name, int size, char* out) {
      return real(vfs)->xFullPathname(real(vfs), name, size, out);
    };
    vfs_.xRandomness = [](sqlite3_vfs* vfs, int size, char* out) {
      return real(vfs)->xRandomness(real(vfs), size, out);
    };
    vfs_.xSleep = [](sqlite3_vfs* vfs, int microseconds) {
      return real(vfs)->xSleep(real(vfs), microseconds);
    };
    vfs_.xCurrentTime = [](sqlite3_vfs* vfs, double* now) {
      return real(vfs)->xCurrentTime(real(vfs), now);
    };
    vfs_.xGetLastError = [](sqlite3_vfs* vfs, int size, char* out) {
      return real(vfs)->xGetLastError(real(vfs), size, out);
    };
    vfs_.xCurrentTimeInt64 = [](sqlite3_vfs* vfs, sqlite3_int64* now) {
      return real(vfs)->xCurrentTimeInt64(real(vfs), now);
    };

    methods_.iVersion = 1;
    methods_.xClose = [](sqlite3_file* file) {
      const int rc = inner(file)->pMethods->xClose(inner(file));
      file->pMethods = nullptr;
      return rc;
    };
    methods_.xRead = [](sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
      return inner(file)->pMethods->xRead(inner(file), out, amount, offset);
    };
    methods_.xWrite = &write;
    methods_.xTruncate = [](sqlite3_file* file, sqlite3_int64 size) {
      return inner(file)->pMethods->xTruncate(inner(file), size);
    };
    methods_.xSync = [](sqlite3_file* file, int flags) {
      return inner(file)->pMethods->xSync(inner(file), flags);
    };
    methods_.xFileSize = [](sqlite3_file* file, sqlite3_int64* size) {
      return inner(file)->pMethods->xFileSize(inner(file), size);
    };
    methods_.xLock = [](sqlite3_file* file, int level) {
      return inner(file)->pMethods->xLock(inner(file), level);
    };
    methods_.xUnlock = [](sqlite3_file* file, int level) {
      return inner(file)->pMethods->xUnlock(inner(file), level);
    };
    methods_.xCheckReservedLock = [](sqlite3_file* file, int* result) {
      return inner(file)->pMethods->xCheckReservedLock(inner(file), result);
    };
    methods_.xFileControl = [](sqlite3_file* file, int op, void* argument) {
      return inner(file)->pMethods->xFileControl(inner(file), op, argument);
    };
    methods_.xSectorSize = [](sqlite3_file* file) {
      return inner(file)->pMethods->xSectorSize(inner(file));
    };
    methods_.xDeviceCharacteristics = [](sqlite3_file* file) {
      return inner(file)->pMethods->xDeviceCharacteristics(inner(file));
    };

    if (sqlite3_vfs_register(&vfs_, 1) != SQLITE_OK) {
      throw std::runtime_error("cannot register the full-disk VFS");
    }
  }

  ~FullDiskVfs() {
    sqlite3_vfs_unregister(&vfs_);
    sqlite3_vfs_register(previous_, 1);
  }

  FullDiskVfs(const FullDiskVfs&) = delete;
  FullDiskVfs& operator=(const FullDiskVfs&) = delete;

  int refusedWrites() const { return refusedWrites_; }

 private:
  // SQLite hands out szOsFile bytes per open file: this header, then the
  // previous VFS's own file object.
  struct File {
    sqlite3_file base;
    FullDiskVfs* owner;
    sqlite3_file* inner;
  };

  static FullDiskVfs* owner(sqlite3_vfs* vfs) { return static_cast<FullDiskVfs*>(vfs->pAppData); }
  static sqlite3_vfs* real(sqlite3_vfs* vfs) { return owner(vfs)->previous_; }
  static sqlite3_file* inner(sqlite3_file* file) { return reinterpret_cast<File*>(file)->inner; }

  static int open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                  int* outFlags) {
    auto* wrapper = reinterpret_cast<File*>(file);
    wrapper->owner = owner(vfs);
    wrapper->inner = reinterpret_cast<sqlite3_file*>(wrapper + 1);
    std::memset(wrapper->inner, 0, static_cast<std::size_t>(real(vfs)->szOsFile));
    const int rc = real(vfs)->xOpen(real(vfs), name, wrapper->inner, flags, outFlags);
    // SQLite closes a file whose methods are set, even after a failed open.
    file->pMethods = wrapper->inner->pMethods != nullptr ? &owner(vfs)->methods_ : nullptr;
    return rc;
  }

  static int write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    auto* self = reinterpret_cast<File*>(file)->owner;
    if (amount > self->remaining_) {
      ++self->refusedWrites_;
      return SQLITE_FULL;
    }
    self->remaining_ -= amount;
    return inner(file)->pMethods->xWrite(inner(file), data, amount, offset);
  }

  sqlite3_vfs vfs_{};
  sqlite3_io_methods methods_{};
  sqlite3_vfs* previous_;
  sqlite3_int64 remaining_;
  int refusedWrites_ = 0;
};

}  // namespace lumenfolio::testing
