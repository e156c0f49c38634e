// Starting programs: always with an argument vector, never through a shell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits a parameter string by the Windows command-line rules: blanks and tabs
// separate words, double quotes group, "" inside quotes is one quote, and
// backslashes are literal unless they precede a quote (2n+1 backslashes before a
// quote give n backslashes and a literal quote; 2n give n and a grouping quote).
std::vector<std::string> SplitCommandLine(std::string_view params);

// Looks a program name up on PATH (a name with "/" is returned as it is when
// it exists). Empty when not found or not executable.
std::string FindProgram(std::string_view name);

struct SpawnOptions {
  std::string workDir;                // empty: the caller's
  std::vector<std::string> extraEnv;  // "NAME=value", added to the environment
  // When set (SpawnAndWait only): receives what the program writes to its
  // stdout until it closes it or ends; otherwise the program shares ours.
  std::string* output = nullptr;
};

// Starts Program with Args (argv[0] is Program), stdin from /dev/null, SIGPIPE
// at its default, and waits without a time limit (EINTR is retried). Returns false when the start failed;
// ExitCode receives the exit status (128 + signal for a signal).
bool SpawnAndWait(const std::string& program, const std::vector<std::string>& args,
                  int& exitCode, const SpawnOptions& options = {});

// Starts Program detached: not waited for, no zombie left behind.
bool SpawnDetached(const std::string& program, const std::vector<std::string>& args,
                   const SpawnOptions& options = {});

// Exit code for the process: 0..255 pass through, anything else becomes 255 so
// that a failure never reads as success.
int ClampExitCode(long long code);
