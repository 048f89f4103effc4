// The descriptor owner handed from one owner to another: a descriptor number is reused by
// the next open, so an owner that closed what it had handed on would close someone
// else's file.

#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vorn {
namespace {

bool isOpen(int fd) {
    return fcntl(fd, F_GETFD) != -1;
}

TEST(FileDescriptorTest, MovedDescriptorsAreClosedOnceByTheirLastOwner) {
    const int first = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(first, 0);
    std::vector<FileDescriptor> owners;
    {
        FileDescriptor handedOn(first);
        owners.push_back(std::move(handedOn));
        owners.reserve(16); // moves the owner again
    }
    ASSERT_TRUE(isOpen(first)) << "an owner closed the descriptor it had handed on";

    FileDescriptor other(open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int replaced = other.get();
    other = std::move(owners.front());
    EXPECT_FALSE(isOpen(replaced)) << "the descriptor an owner gave up for another stays open";
    EXPECT_FALSE(owners.front().valid());
    EXPECT_EQ(other.get(), first);
    owners.clear();
    EXPECT_TRUE(isOpen(first)) << "a moved-from owner closed the descriptor";

    EXPECT_FALSE(other.close()) << "the one close succeeds";
    EXPECT_FALSE(isOpen(first));
}

} // namespace
} // namespace vorn
