#include "ui/farm/farm_texts.h"

#include <QCoreApplication>
#include <QStringList>

#include "app/process_runner.h"

namespace tavrona {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

QString FarmPlanProblemText(const FarmPlanProblem& p) {
  using Kind = FarmPlanProblem::Kind;
  switch (p.kind) {
    case Kind::UnknownCodec:
      return QCoreApplication::translate(
          "Farm", "この圧縮プログラムは出力ファイルの形式に書き込めません。");
    case Kind::NoFrames:
      return QCoreApplication::translate("Farm", "プロジェクトにフレームがありません。");
    case Kind::MorePartsThanFrames:
      return QCoreApplication::translate("Farm", "分割数がフレーム数より多くなっています。");
    case Kind::Unresolvable:
      return QCoreApplication::translate("Farm", "出力ファイルの場所を決められません: %1")
          .arg(Q(p.detail));
    case Kind::LineBreakInPath:
      return QCoreApplication::translate("Farm", "改行を含むファイル名は使えません。");
    case Kind::NoOutputFolder:
      return QCoreApplication::translate("Farm", "出力先のフォルダがありません: %1")
          .arg(Q(p.detail));
    case Kind::UnknownSoundCodec:
      return QCoreApplication::translate(
          "Farm", "この音声の圧縮形式は出力ファイルの形式に書き込めません。");
    case Kind::NoStreamRate:
      return QCoreApplication::translate("Farm",
                                         "プロジェクトのフレームレートでは書き出せません。");
    case Kind::NoDigest:
      return QCoreApplication::translate("Farm", "プロジェクトファイルを読めません: %1")
          .arg(Q(p.detail));
    case Kind::MorePartsThanKeyGroups:
      return QCoreApplication::translate(
                 "Farm", "%1 フレームごとにキーフレームがあるため、%2 個までにしか分割できません。")
          .arg(p.keyInterval)
          .arg(p.groups);
  }
  return {};
}

QString FarmSubmissionText(const FarmSubmission& s, const FarmPlan& plan) {
  using Result = FarmSubmission::Result;
  const QString refusal = Q(s.refusal.text.empty() ? std::string("sbatch") : s.refusal.text);
  switch (s.result) {
    case Result::NoPartsFolder:
      return QCoreApplication::translate("Farm", "部分のフォルダを作成できません: %1")
          .arg(Q(s.folderError));
    case Result::Locked:
      return QCoreApplication::translate("Farm",
                                         "ほかの送信がこの出力ファイルのフォルダを使用中です。");
    case Result::StillAtWork: {
      QStringList ids;
      for (const std::string& id : s.activeJobs) ids << Q(id);
      return QCoreApplication::translate(
                 "Farm", "前回のジョブ %1 がまだ待機中か実行中です。終わるのを待ってください。")
          .arg(ids.join(QStringLiteral(", ")));
    }
    case Result::NotWritten:
      return QCoreApplication::translate("Farm", "ファイルを書き込めません: %1")
          .arg(Q(s.unwritten.path));
    case Result::ArrayNotSubmitted:
      return QCoreApplication::translate("Farm", "部分を送信できませんでした: %1").arg(refusal);
    case Result::JoinNotSubmitted:
    case Result::Submitted:
      break;
  }
  QStringList lines;
  if (!s.parts.empty()) {
    lines << QCoreApplication::translate("Farm", "部分: ジョブ %1 (%2 個中 %3 個)")
                 .arg(Q(s.arrayJobId))
                 .arg(plan.ranges.size())
                 .arg(s.parts.size());
  } else {
    lines << QCoreApplication::translate("Farm",
                                         "部分: %1 個ともできあがっているため、送信していません")
                 .arg(plan.ranges.size());
  }
  if (s.result == Result::JoinNotSubmitted) {
    lines << QCoreApplication::translate("Farm", "結合を送信できませんでした: %1").arg(refusal);
  } else {
    lines << QCoreApplication::translate("Farm", "結合: ジョブ %1").arg(Q(s.joinJobId));
  }
  return lines.join(u'\n');
}

QString FarmPartStatusText(FarmPartStatus status) {
  switch (status) {
    case FarmPartStatus::Complete:
      return QCoreApplication::translate("Farm", "完了");
    case FarmPartStatus::Incomplete:
      return QCoreApplication::translate("Farm", "未完了");
    case FarmPartStatus::Stale:
      return QCoreApplication::translate("Farm", "古い");
    case FarmPartStatus::Missing:
      return QCoreApplication::translate("Farm", "なし");
    case FarmPartStatus::Queued:
      return QCoreApplication::translate("Farm", "待機中");
    case FarmPartStatus::Running:
      return QCoreApplication::translate("Farm", "実行中");
  }
  return {};
}

QString FarmOutputStateText(OutputState state) {
  switch (state) {
    case OutputState::Absent:
      return QCoreApplication::translate("Farm", "まだありません");
    case OutputState::Current:
      return QCoreApplication::translate("Farm", "できあがっています");
    case OutputState::NoJoinRecorded:
      return QCoreApplication::translate("Farm",
                                         "古いファイルです (この部分から結合した記録がありません)");
    case OutputState::OtherPlan:
      return QCoreApplication::translate("Farm", "古いファイルです (以前の部分から結合されました)");
    case OutputState::WrittenSinceJoin:
      return QCoreApplication::translate("Farm", "古いファイルです (結合の後に書き換えられました)");
  }
  return {};
}

QString FarmUnavailableReason() {
  if (FindOnPath("sbatch")) return {};
  return QCoreApplication::translate(
      "Farm",
      "sbatch が見つからないため、ファームで書き出せません (Slurm のコマンドを PATH に"
      "置いてください)");
}

}  // namespace tavrona
