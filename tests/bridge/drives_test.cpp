// The drives behind /ad, /adl and /adn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/drives.h"

namespace {

using bridge::DriveKind;
using bridge::DriveSelection;
using Strings = std::vector<std::string>;

TEST(BridgeDrives, WindowsTakesFixedDrivesAsLocalAndRemoteOnesAsNetwork) {
  const std::vector<bridge::Drive> drives = {{"A:\\", DriveKind::kOther},
                                             {"C:\\", DriveKind::kLocal},
                                             {"D:\\", DriveKind::kOther},
                                             {"E:\\", DriveKind::kLocal},
                                             {"N:\\", DriveKind::kNetwork}};
  EXPECT_EQ(bridge::SelectWindowsDrives(drives, true, false).roots, (Strings{"C:\\", "E:\\"}));
  EXPECT_EQ(bridge::SelectWindowsDrives(drives, false, true).roots, Strings{"N:\\"});
  EXPECT_EQ(bridge::SelectWindowsDrives(drives, true, true).roots,
            (Strings{"C:\\", "E:\\", "N:\\"}));
  EXPECT_TRUE(bridge::SelectWindowsDrives(drives, true, true).excludeFolderPaths.empty());
}

constexpr char kMounts[] =
    "/dev/sda1 / ext4 rw,relatime 0 0\n"
    "proc /proc proc rw,nosuid 0 0\n"
    "sysfs /sys sysfs rw 0 0\n"
    "cgroup /sys/fs/cgroup/memory cgroup rw 0 0\n"
    "tmpfs /run tmpfs rw 0 0\n"
    "/dev/sda2 /home ext4 rw 0 0\n"
    "server:/export /mnt/nfs nfs4 rw 0 0\n"
    "server:/export/sub /mnt/nfs/deeper nfs4 rw 0 0\n"
    "//nas/share /mnt/my\\040share cifs rw 0 0\n"
    "ann@host:/ /home/ann/remote fuse.sshfs rw 0 0\n"
    "binfmt_misc /proc/sys/fs/binfmt_misc binfmt_misc rw 0 0\n"
    "none /srv/odd|(dir) debugfs rw 0 0\n";

// The kernel's file systems are the walk's to leave out (by their type).
TEST(BridgeDrives, LinuxLocalDrivesAreTheRootWithoutNetworkFileSystems) {
  const DriveSelection local = bridge::SelectPosixDrives(kMounts, true, false);
  EXPECT_EQ(local.roots, Strings{"/"});
  EXPECT_EQ(local.excludeFolderPaths, (Strings{"/home/ann/remote", "/mnt/my share", "/mnt/nfs"}));
  // All drives: the network mounts are scanned as part of the root.
  const DriveSelection all = bridge::SelectPosixDrives(kMounts, true, true);
  EXPECT_EQ(all.roots, Strings{"/"});
  EXPECT_TRUE(all.excludeFolderPaths.empty());
}

TEST(BridgeDrives, LinuxNetworkDrivesAreTheMountedNetworkFileSystems) {
  const DriveSelection network = bridge::SelectPosixDrives(kMounts, false, true);
  EXPECT_EQ(network.roots, (Strings{"/home/ann/remote", "/mnt/my share", "/mnt/nfs"}));
  EXPECT_TRUE(network.excludeFolderPaths.empty());
  EXPECT_TRUE(bridge::SelectPosixDrives("/dev/sda1 / ext4 rw 0 0\n", false, true).roots.empty());
}

}  // namespace
