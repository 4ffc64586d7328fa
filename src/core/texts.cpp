#include "core/texts.h"

#include <nlohmann/json.hpp>

#include "core/updater_contract.h"
#include "proc/run_tool.h"

namespace kaldra {

const std::map<std::string, TextTable, std::less<>>& fallbackTexts() {
  static const std::map<std::string, TextTable, std::less<>> table{
      {"de",
       {{"stage_manifest", "Suche nach Updates \u2026"},
        {"err_other", "Unerwarteter Fehler. Details stehen im Protokoll:"},
        {"btn_retry", "Erneut versuchen"},
        {"btn_logs", "Protokoll öffnen"},
        {"btn_quit", "Beenden"}}},
      {"en",
       {{"stage_manifest", "Checking for updates \u2026"},
        {"err_other", "Unexpected error. Details are in the log:"},
        {"btn_retry", "Try again"},
        {"btn_logs", "Open log"},
        {"btn_quit", "Quit"}}},
      {"tr",
       {{"stage_manifest", "Güncellemeler denetleniyor \u2026"},
        {"err_other", "Beklenmeyen hata. Ayrıntılar günlükte:"},
        {"btn_retry", "Yeniden dene"},
        {"btn_logs", "Günlüğü aç"},
        {"btn_quit", "Çık"}}},
      {"pl",
       {{"stage_manifest", "Sprawdzanie aktualizacji \u2026"},
        {"err_other", "Nieoczekiwany błąd. Szczegóły znajdują się w dzienniku:"},
        {"btn_retry", "Spróbuj ponownie"},
        {"btn_logs", "Otwórz dziennik"},
        {"btn_quit", "Zakończ"}}},
      {"ro",
       {{"stage_manifest", "Se caut\u0103 actualiz\u0103ri \u2026"},
        {"err_other", "Eroare nea\u0219teptat\u0103. Detaliile sunt în jurnal:"},
        {"btn_retry", "Încearc\u0103 din nou"},
        {"btn_logs", "Deschide jurnalul"},
        {"btn_quit", "Ie\u0219ire"}}},
      {"es",
       {{"stage_manifest", "Buscando actualizaciones \u2026"},
        {"err_other", "Error inesperado. Los detalles están en el registro:"},
        {"btn_retry", "Reintentar"},
        {"btn_logs", "Abrir registro"},
        {"btn_quit", "Salir"}}},
      {"fr",
       {{"stage_manifest", "Recherche de mises à jour \u2026"},
        {"err_other", "Erreur inattendue. Les détails se trouvent dans le journal :"},
        {"btn_retry", "Réessayer"},
        {"btn_logs", "Ouvrir le journal"},
        {"btn_quit", "Quitter"}}},
      {"it",
       {{"stage_manifest", "Ricerca aggiornamenti \u2026"},
        {"err_other", "Errore imprevisto. I dettagli sono nel registro:"},
        {"btn_retry", "Riprova"},
        {"btn_logs", "Apri registro"},
        {"btn_quit", "Esci"}}},
  };
  return table;
}

std::string T(std::string_view key) {
  if (auto it = cfg.texts.find(key); it != cfg.texts.end()) return it->second;
  const auto& fallback = fallbackTexts();
  if (auto language = fallback.find(cfg.lang); language != fallback.end()) {
    if (auto it = language->second.find(key); it != language->second.end()) return it->second;
  }
  return std::string(key);
}

std::optional<TextTable> parseTextTable(std::string_view bytes) {
  // The JSON reader takes a NUL byte for the end of its input; whatever follows must not
  // slip through behind a valid object.
  if (bytes.find('\0') != std::string_view::npos) return std::nullopt;
  auto json = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) return std::nullopt;
  TextTable table;
  for (const auto& [key, value] : json.items()) {
    if (!value.is_string()) return std::nullopt;
    table.emplace(key, value.get<std::string>());
  }
  return table;
}

static std::optional<PendingCapture> pendingTexts;

void startTextTableLoad() {
  pendingTexts = PendingCapture::start(cfg.updater, updater::textsCommand(cfg.lang));
}

void loadTextTable() {
  if (!pendingTexts) startTextTableLoad();
  auto [status, bytes] = pendingTexts->finish();
  pendingTexts.reset();
  (void)status;  // the table speaks for itself; the status is not examined
  if (auto table = parseTextTable(bytes)) cfg.texts = std::move(*table);
}

}  // namespace kaldra
