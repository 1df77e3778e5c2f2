// The one way zel writes a file. An output never touches an input of the
// run, and never leaves a regular file half written:
//  - a path that names a file kept apart (an input of the run, or an output
//    already given: same device and inode, whatever the path: another name,
//    a hard link, a symbolic link, /dev/stdin) is refused, unless that is a
//    character device (a terminal, /dev/null), which loses nothing;
//  - a symbolic link is followed, and what it names is written;
//  - a regular file, or a name that does not exist yet, is replaced
//    atomically: the bytes go to a temporary file with a short name in the
//    same directory, which is flushed to disk and renamed over the target,
//    keeping the target's permission bits (and owner, where allowed);
//  - standard output or standard error named by a path (/dev/stdout), a
//    FIFO and a character device are written into directly, never replaced;
//  - a directory, a block device, a socket and a missing directory are
//    refused, and nothing is created.
// Every failure throws Exception "Cannot write file: 'PATH' (REASON)." and
// leaves no file behind.
#ifndef ZEL_WRITE_OUTPUT_FILE_HPP
#define ZEL_WRITE_OUTPUT_FILE_HPP

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

// A file of the run, an input or an output: the name it was given ("-":
// standard input) and what a refusal calls it ("the QBF file", "the
// certificate", "the --core file").
struct RunFile {
  std::string name;  // as given on the command line
  std::string role;  // its role in the run, for messages
};

// Throws when `path` cannot take an output: it names one of `kept` (the
// run's inputs, and outputs already taken), a directory, a block device or
// a socket, or lies in a missing directory. Called before the run reads
// anything, so a wrong name costs no checking; write_output_file checks all
// of this again when it writes.
void check_output_file(const std::string& path, const std::vector<RunFile>& kept);

// Writes what `produce` sends to its stream into `path`, as described
// above, never over one of `kept`. `produce` may throw; then the target
// stays as it was.
void write_output_file(const std::string& path, const std::vector<RunFile>& kept,
                       const std::function<void(std::ostream&)>& produce);

#endif
