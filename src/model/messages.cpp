#include "model/messages.h"

namespace tavrona {

std::u16string SourceLoadQuestion(std::u16string_view path) {
  std::u16string m = u"ファイル\"";
  m += path;
  m += u"\"の読み込みに失敗しました。続行しますか？\n続行すると、このファイルの設定は破棄されます。";
  return m;
}

std::u16string TextCreateQuestion(std::u16string_view text) {
  std::u16string m = u"テキスト\"";
  m += text;
  m += u"\"の作成に失敗しました。続行しますか？\n続行すると、このファイルの設定は破棄されます。";
  return m;
}

}  // namespace tavrona
