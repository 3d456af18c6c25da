// Conversion of a typical Japanese event message (300 characters: kanji, kana, ASCII, digits,
// a halfwidth katakana word) to ISO-2022-JP and EUC-JP.
#include <benchmark/benchmark.h>

#include <string>

#include "service/transport/charset_converter.h"

namespace {

class SilentDebugOutput : public platform::DebugOutput {
 public:
  bool Enabled() override { return false; }
  void Write(std::u16string_view) override {}
  void WriteAnsi(std::string_view) override {}
};

std::u16string TypicalMessage() {
  const std::u16string sentence =
      u"<14>Application Service Control Manager: サービス \"Print Spooler\" "
      u"は予期せぬ原因により終了しました。このサービスの終了は 3 回目です。"
      u"次の修正操作が 60000 ミリ秒以内に実行されます: サービスの再開。"
      u"ｲﾍﾞﾝﾄ ID 7031、コンピュータ名 SRV01、ユーザー NT AUTHORITY\\SYSTEM。";
  std::u16string text;
  while (text.size() < 300) text += sentence;
  text.resize(300);
  return text;
}

void BM_Convert(benchmark::State& state, int encoding) {
  SilentDebugOutput debug;
  sentrel::CharsetConverter converter(debug);
  const std::u16string text = TypicalMessage();
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string out = converter.Convert(text, encoding);
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["out_bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

BENCHMARK_CAPTURE(BM_Convert, Iso2022Jp, sentrel::kEncodingIso2022Jp);
BENCHMARK_CAPTURE(BM_Convert, EucJp, sentrel::kEncodingEucJp);

}  // namespace

BENCHMARK_MAIN();
