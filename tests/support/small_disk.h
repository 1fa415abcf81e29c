// A small file system (tmpfs) mounted over a folder for the life of this
// object, so that a disk really fills up. Windows has no call for that;
// under Wine a Unix program starts like any other, so a Unix shell does it
// (the tests run as root). A mount left by a test that crashed is taken
// down first.
#pragma once

#include <cstdint>
#include <string>

namespace fyrel::test {

class SmallDisk {
 public:
  // size as mount takes it ("2m", "64k").
  SmallDisk(const std::string& folder, const char* size);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  // Makes room, keeping every file on it.
  bool grow(const char* size, std::uint64_t atLeast);
  std::uint64_t diskSize() const;

 private:
  std::string folder_;
  std::string path_;
  bool mounted_ = false;
};

}  // namespace fyrel::test
