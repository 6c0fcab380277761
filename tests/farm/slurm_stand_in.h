// Stand-ins for Slurm's commands in a folder that is alone on PATH (the machine's own Slurm, if
// any, unseen): each records its arguments, one line per call in NAME.args, prints canned
// output and exits with a chosen status.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "farm/farm_plan.h"
#include "farm/slurm_client.h"

namespace tavrona {

namespace fs = std::filesystem;

// Single quotes for the stand-in's printf; the canned texts hold none.
inline std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

class SlurmStandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrona_slurm_client_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    const char* path = std::getenv("PATH");
    savedPath_ = path ? path : "";
    setenv("PATH", folder_.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(folder_);
  }

  // A stand-in for `name`: records "$*" as one line of name.args, prints out and err, exits
  // with status. Only shell built-ins: nothing else is on PATH.
  void StandIn(const std::string& name, const std::string& out, int status = 0,
               const std::string& err = "") {
    const fs::path file = folder_ / name;
    std::ofstream(file) << "#!/bin/sh\n"
                        << "printf '%s\\n' \"$*\" >> " << Quoted((folder_ / name).string())
                        << ".args\n"
                        << "printf '%s' " << Quoted(out) << "\n"
                        << "printf '%s' " << Quoted(err) << " >&2\n"
                        << "exit " << status << "\n";
    chmod(file.c_str(), 0755);
  }

  // The argument lines `name` was called with, one per call.
  std::vector<std::string> Calls(const std::string& name) {
    std::ifstream in(folder_ / (name + ".args"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // A stand-in running `body` (shell built-ins only) after recording its arguments.
  void StandInScript(const std::string& name, const std::string& body) {
    const fs::path file = folder_ / name;
    std::ofstream(file) << "#!/bin/sh\n"
                        << "printf '%s\\n' \"$*\" >> " << Quoted((folder_ / name).string())
                        << ".args\n"
                        << body << "\n";
    chmod(file.c_str(), 0755);
  }

  // sbatch answering job ids 41, 42, ... in the order submitted.
  void CountingSbatch() {
    StandInScript("sbatch",
                  "read n < " + Quoted((folder_ / "next").string()) + " || n=41\n"
                  "echo $((n + 1)) > " + Quoted((folder_ / "next").string()) + "\n"
                  "echo \"$n\"");
  }

  // squeue listing `jobs` and, asked for array tasks one a line (-r), `tasks`.
  void Queue(const std::string& jobs, const std::string& tasks) {
    StandInScript("squeue", "case \" $* \" in\n"
                            "  *\" -r \"*) printf '%s' " + Quoted(tasks) + " ;;\n"
                            "  *) printf '%s' " + Quoted(jobs) + " ;;\n"
                            "esac");
  }

  // A three-part plan of a 30-frame 64 x 48 project in the stand-in folder, writing out.avi.
  FarmPlan SamplePlan() const {
    FarmPlan plan;
    plan.project = (folder_ / "p.vpj").string();
    plan.output = (folder_ / "out.avi").string();
    plan.codec = "raw";
    plan.width = 64;
    plan.height = 48;
    plan.length = 30;
    plan.rate = 300000;
    plan.scale = 10000;
    plan.digest = std::string(64, 'a');
    plan.ranges = {{0, 9}, {10, 19}, {20, 29}};
    return plan;
  }

  fs::path folder_;
  std::string savedPath_;
  SlurmClient slurm_;
};

}  // namespace tavrona
