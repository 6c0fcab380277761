#include "farm/batch_script.h"

namespace tavrona {
namespace {

// sbatch expands %a, %j and the like in --output; a literal % is written %%.
std::string EscapePercent(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

void AddSlurmOptions(std::vector<std::string>& args, const SlurmOptions& slurm) {
  if (!slurm.partition.empty()) args.push_back("--partition=" + slurm.partition);
  if (!slurm.timeLimit.empty()) args.push_back("--time=" + slurm.timeLimit);
}

// The first line of every attempt in a log, which sbatch appends to: a rerun keeps what earlier
// attempts wrote (a cancellation, a failure) after it.
std::string AttemptHeader(bool arrayTask) {
  return std::string("echo \"== attempt: job ") +
         (arrayTask ? "${SLURM_ARRAY_JOB_ID:-?} task ${SLURM_ARRAY_TASK_ID:-?}"
                    : "${SLURM_JOB_ID:-?}") +
         " on $(hostname) at $(date '+%Y-%m-%d %H:%M:%S %z')\"\n";
}

// Removes a half-written file after a failure. Only a regular file: anything else in its place
// made the export fail, which said so once already.
std::string RemoveIfFile(const std::string& variable) {
  return "[ ! -f \"$" + variable + "\" ] || rm -f \"$" + variable + "\"";
}

}  // namespace

std::string ShellQuote(const std::string& word) {
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string BuildArrayScript(const FarmPlan& plan, const std::string& cliPath) {
  std::string s =
      "#!/bin/sh\n"
      "# Written by tavrona-cli farm: array task i exports frame range i of the project into\n"
      "# a temporary file and renames it to its part only when the export succeeded.\n"
      "set -u\n" +
      AttemptHeader(true) + "case \"${SLURM_ARRAY_TASK_ID:-}\" in\n";
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    s += "  " + std::to_string(i) + ") range=" + std::to_string(plan.ranges[i].first) + "-" +
         std::to_string(plan.ranges[i].last) + "; part=" + ShellQuote(FarmPartPath(plan, i)) +
         "; writing=" + ShellQuote(FarmWritingPath(plan, i)) + " ;;\n";
  }
  s += "  *) echo \"tavrona-cli farm: no frame range for array task "
       "'${SLURM_ARRAY_TASK_ID:-}'\" >&2; exit 1 ;;\n"
       "esac\n";
  s += ShellQuote(cliPath) + " export " + ShellQuote(plan.project) +
       " -o \"$writing\" --frames \"$range\" --codec " + ShellQuote(plan.codec);
  for (const std::string& option : plan.exportOptions) s += " " + ShellQuote(option);
  s += " || { status=$?; " + RemoveIfFile("writing") + "; exit $status; }\n";
  s += "mv -f \"$writing\" \"$part\"\n";
  return s;
}

std::string BuildJoinScript(const FarmPlan& plan, const std::string& cliPath) {
  const std::string marker = FarmJoinedPath(plan.output);
  std::string s =
      "#!/bin/sh\n"
      "# Written by tavrona-cli farm: joins the parts in order into a temporary file and\n"
      "# renames it to the output only when the join succeeded; then records the plan it\n"
      "# joined, for farm --status.\n"
      "set -u\n" +
      AttemptHeader(false) + "joining=" + ShellQuote(FarmJoiningPath(plan)) + "\n" +
      ShellQuote(cliPath) + " join";
  for (size_t i = 0; i < plan.ranges.size(); ++i)
    s += " \\\n  " + ShellQuote(FarmPartPath(plan, i));
  s += " \\\n  -o \"$joining\" || { status=$?; " + RemoveIfFile("joining") + "; exit $status; }\n";
  s += "mv -f \"$joining\" " + ShellQuote(plan.output) + " || exit\n";
  s += "printf '%s' " + ShellQuote(FarmPlanIdentity(plan)) + " >" + ShellQuote(marker + ".new") +
       " && mv -f " + ShellQuote(marker + ".new") + " " + ShellQuote(marker) + "\n";
  return s;
}

std::string ArraySpec(const std::vector<size_t>& indices) {
  std::string out;
  for (size_t i = 0; i < indices.size();) {
    size_t j = i;
    while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1) ++j;
    if (!out.empty()) out += ',';
    out += std::to_string(indices[i]);
    if (j > i) out += "-" + std::to_string(indices[j]);
    i = j + 1;
  }
  return out;
}

std::vector<std::string> ArraySubmitArgs(const FarmPlan& plan, const std::vector<size_t>& indices,
                                         const SlurmOptions& slurm, const std::string& script) {
  const std::string folder = FarmPartsFolder(plan.output);
  std::vector<std::string> args{"--parsable",
                                "--job-name=tavrona-parts",
                                "--array=" + ArraySpec(indices),
                                "--output=" + EscapePercent(folder) + "/part-%a.log",
                                "--open-mode=append",
                                "--chdir=" + folder};
  AddSlurmOptions(args, slurm);
  args.push_back(script);
  return args;
}

std::vector<std::string> JoinSubmitArgs(const FarmPlan& plan, const std::string& arrayJobId,
                                        const SlurmOptions& slurm, const std::string& script) {
  const std::string folder = FarmPartsFolder(plan.output);
  std::vector<std::string> args{"--parsable", "--job-name=tavrona-join",
                                "--output=" + EscapePercent(folder) + "/join.log",
                                "--open-mode=append", "--chdir=" + folder};
  if (!arrayJobId.empty()) {
    // A failed task must leave the join unrun, and not pending for ever.
    args.push_back("--dependency=afterok:" + arrayJobId);
    args.push_back("--kill-on-invalid-dep=yes");
  }
  AddSlurmOptions(args, slurm);
  args.push_back(script);
  return args;
}

}  // namespace tavrona
