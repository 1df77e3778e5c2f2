// The output writer: an input is never touched, a regular file is replaced
// whole or not at all, links are followed, FIFOs and devices are written
// into, and a failure leaves nothing behind.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "core/exception.hpp"
#include "support.hpp"
#include "write/output_file.hpp"

namespace {

using zeltest::directory_entries;
using zeltest::file_content;
using zeltest::message_of;
using zeltest::put_file;
using zeltest::scratch_directory;
using Names = std::vector<std::string>;

const std::string kText = "new content\n";

void write_text(const std::string& path, const std::vector<RunFile>& inputs = {},
                const std::string& text = kText) {
  write_output_file(path, inputs, [&](std::ostream& out) { out << text; });
}

std::string cannot(const std::string& path, const std::string& reason) {
  return "Cannot write file: '" + path + "' (" + reason + ").";
}

mode_t mode_of(const std::string& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

TEST(output_file, ReplacesARegularFileKeepingItsPermissions) {
  const std::string directory = scratch_directory();
  const std::string path = directory + "/model.aag";
  put_file(path, "old content, longer than the new one\n");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  write_text(path);
  EXPECT_EQ(file_content(path), kText);
  EXPECT_EQ(mode_of(path), S_IFREG | 0640);
  EXPECT_EQ(directory_entries(directory), Names{"model.aag"});
}

TEST(output_file, CreatesANewFileWithTheUsualPermissions) {
  const std::string directory = scratch_directory();
  const mode_t mask = ::umask(022);
  write_text(directory + "/model.aag");
  ::umask(mask);
  EXPECT_EQ(file_content(directory + "/model.aag"), kText);
  EXPECT_EQ(mode_of(directory + "/model.aag"), S_IFREG | 0644);
  EXPECT_EQ(directory_entries(directory), Names{"model.aag"});
}

// Any valid name works: the temporary file's name does not grow from it.
TEST(output_file, LongestNames) {
  const std::string directory = scratch_directory();
  Names names;
  for (size_t length : {249u, 255u}) {
    const std::string name(length, 'm');
    write_text(directory + "/" + name);
    EXPECT_EQ(file_content(directory + "/" + name), kText);
    names.push_back(name);
  }
  EXPECT_EQ(directory_entries(directory), names);
}

// Every refusal comes before anything is written, through the early check
// and through the writer, and leaves the directory as it was.
TEST(output_file, Refusals) {
  const std::string directory = scratch_directory();
  const std::string formula = directory + "/f.qdimacs", certificate = directory + "/c.cert";
  put_file(formula, "p cnf 0 0\n");
  put_file(certificate, "QBCertificate\n");
  ASSERT_EQ(::link(formula.c_str(), (directory + "/hard").c_str()), 0);
  ASSERT_EQ(::symlink("f.qdimacs", (directory + "/soft").c_str()), 0);
  ASSERT_EQ(::symlink("soft", (directory + "/soft2").c_str()), 0);
  ASSERT_EQ(::symlink("loop", (directory + "/loop").c_str()), 0);
  ASSERT_EQ(::mkdir((directory + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("sub", (directory + "/to-sub").c_str()), 0);
  const std::vector<RunFile> inputs = {{formula, "the QBF file"}, {certificate, "the certificate"}};
  const Names before = directory_entries(directory);
  struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {formula, "it is the QBF file"},
      {certificate, "it is the certificate"},
      {directory + "/./f.qdimacs", "it is the QBF file"},
      {directory + "/sub/../c.cert", "it is the certificate"},
      {directory + "/hard", "it is the QBF file"},
      {directory + "/soft", "it is the QBF file"},
      {directory + "/soft2", "it is the QBF file"},
      {directory + "/loop", "Too many levels of symbolic links"},
      {directory + "/sub", "Is a directory"},
      {directory + "/sub/", "Is a directory"},
      {directory + "/to-sub", "Is a directory"},
      {directory, "Is a directory"},
      {directory + "/missing/model.aag", "No such file or directory"},
      {directory + "/f.qdimacs/model.aag", "Not a directory"},
      {"", "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(message_of([&] { check_output_file(c.path, inputs); }), cannot(c.path, c.reason));
    EXPECT_EQ(message_of([&] { write_text(c.path, inputs); }), cannot(c.path, c.reason));
    EXPECT_EQ(directory_entries(directory), before);
    EXPECT_EQ(directory_entries(directory + "/sub"), Names{});
    EXPECT_EQ(file_content(formula), "p cnf 0 0\n");
    EXPECT_EQ(file_content(certificate), "QBCertificate\n");
  }
}

// Standard input is an input too, whatever path names it.
TEST(output_file, StandardInputIsAnInput) {
  const std::string directory = scratch_directory();
  const std::string certificate = directory + "/c.cert";
  put_file(certificate, "QBCertificate\n");
  EXPECT_EXIT(
      {
        const int descriptor = ::open(certificate.c_str(), O_RDONLY);
        if (descriptor < 0 || ::dup2(descriptor, STDIN_FILENO) < 0) std::_Exit(2);
        const std::string message =
            message_of([&] { write_text(certificate, {{"-", "the certificate"}}); });
        std::cerr << message << std::endl;
        std::_Exit(message == cannot(certificate, "it is the certificate") ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(file_content(certificate), "QBCertificate\n");
}

// A link is followed: what it names is replaced (the temporary file beside
// it), the link stays a link. A link to nothing creates its target.
TEST(output_file, LinksAreFollowed) {
  const std::string directory = scratch_directory();
  ASSERT_EQ(::mkdir((directory + "/real").c_str(), 0755), 0);
  put_file(directory + "/real/model.aag", "old");
  ASSERT_EQ(::chmod((directory + "/real/model.aag").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("real/model.aag", (directory + "/link").c_str()), 0);
  ASSERT_EQ(::symlink("link", (directory + "/link2").c_str()), 0);
  ASSERT_EQ(::symlink((directory + "/real/new.aag").c_str(), (directory + "/dangling").c_str()), 0);
  write_text(directory + "/link2");
  EXPECT_EQ(file_content(directory + "/real/model.aag"), kText);
  EXPECT_EQ(mode_of(directory + "/real/model.aag"), S_IFREG | 0600);
  EXPECT_TRUE(S_ISLNK(mode_of(directory + "/link")));
  EXPECT_TRUE(S_ISLNK(mode_of(directory + "/link2")));
  write_text(directory + "/dangling", {}, "created\n");
  EXPECT_EQ(file_content(directory + "/real/new.aag"), "created\n");
  EXPECT_TRUE(S_ISLNK(mode_of(directory + "/dangling")));
  EXPECT_EQ(directory_entries(directory), (Names{"dangling", "link", "link2", "real"}));
  EXPECT_EQ(directory_entries(directory + "/real"), (Names{"model.aag", "new.aag"}));
}

// A FIFO is written into and stays a FIFO; so does a character device.
TEST(output_file, FifoAndDeviceAreWrittenInto) {
  const std::string directory = scratch_directory();
  const std::string fifo = directory + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const pid_t reader = ::fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) {
    const std::string received = file_content(fifo);
    std::_Exit(received == kText ? 0 : 1);
  }
  write_text(fifo);
  int status = 0;
  ASSERT_EQ(::waitpid(reader, &status, 0), reader);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(S_ISFIFO(mode_of(fifo)));
  EXPECT_EQ(directory_entries(directory), Names{"pipe"});

  write_text("/dev/null");
  EXPECT_TRUE(S_ISCHR(mode_of("/dev/null")));
}

// What the producer throws reaches the caller; the old file stays and no
// temporary file is left.
TEST(output_file, ProducerFailureLeavesTheFile) {
  const std::string directory = scratch_directory();
  const std::string path = directory + "/model.aag";
  put_file(path, "old content");
  EXPECT_EQ(message_of([&] {
              write_output_file(path, {}, [](std::ostream& out) {
                out << std::string(100000, 'x');
                throw Exception("refused");
              });
            }),
            "refused");
  EXPECT_EQ(file_content(path), "old content");
  EXPECT_EQ(directory_entries(directory), Names{"model.aag"});
}

// A directory without write permission. The superuser may write anyway, so
// the attempt runs in a child process that gives up root first (to user and
// group 65534, "nobody").
TEST(output_file, DirectoryNotWritable) {
  const std::string directory = scratch_directory();
  const std::string path = directory + "/model.aag";
  put_file(path, "old content");
  ASSERT_EQ(::chmod(directory.c_str(), 0555), 0);
  EXPECT_EXIT(
      {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(2);
        const std::string message = message_of([&] { write_text(path); });
        std::cerr << message << std::endl;
        std::_Exit(message == cannot(path, "Permission denied") ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  ::chmod(directory.c_str(), 0755);
  EXPECT_EQ(file_content(path), "old content");
  EXPECT_EQ(directory_entries(directory), Names{"model.aag"});
}

// The writes themselves fail halfway: a child process limited to 100-byte
// files writes a megabyte over an existing file. The failure is reported,
// the old file stays as it was and no temporary file is left. Works for
// every user, unlike the permission test.
TEST(output_file, WriteFailsHalfway) {
  const std::string directory = scratch_directory();
  const std::string path = directory + "/model.aig";
  put_file(path, "old content");
  const std::string big(1 << 20, 'x');
  EXPECT_EXIT(
      {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = 100;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string message = message_of([&] { write_text(path, {}, big); });
        std::cerr << message << std::endl;
        std::_Exit(message == cannot(path, "File too large") ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(file_content(path), "old content");
  EXPECT_EQ(directory_entries(directory), Names{"model.aig"});
  write_text(path, {}, big);
  EXPECT_EQ(file_content(path), big);
}

}  // namespace
