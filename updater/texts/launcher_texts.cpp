#include "updater/texts/launcher_texts.h"

#include <nlohmann/json.hpp>

namespace kaldra::update {

namespace {

// Columns: de, en, tr, pl, ro, es, fr, it. Texts followed by a path or a description end
// with a colon; placeholders in braces are filled in by the launcher.
constexpr TextRow kRows[] = {
    {"btn_continue",
     {"Weiter", "Continue", "Devam et", "Kontynuuj", "Continuă", "Continuar", "Continuer",
      "Continua"}},
    {"btn_download",
     {"Herunterladen", "Download", "İndir", "Pobierz", "Descarcă", "Descargar", "Télécharger",
      "Scarica"}},
    {"btn_install",
     {"Installieren", "Install", "Yükle", "Zainstaluj", "Instalează", "Instalar", "Installer",
      "Installa"}},
    {"btn_later",
     {"Später", "Later", "Daha sonra", "Później", "Mai târziu", "Más tarde", "Plus tard",
      "Più tardi"}},
    {"btn_logs",
     {"Protokoll öffnen", "Open log", "Günlüğü aç", "Otwórz dziennik", "Deschide jurnalul",
      "Abrir registro", "Ouvrir le journal", "Apri registro"}},
    {"btn_not_now",
     {"Jetzt nicht", "Not now", "Şimdi değil", "Nie teraz", "Nu acum", "Ahora no", "Pas maintenant",
      "Non ora"}},
    {"btn_quit", {"Beenden", "Quit", "Çık", "Zakończ", "Ieșire", "Salir", "Quitter", "Esci"}},
    {"btn_retry",
     {"Erneut versuchen", "Try again", "Yeniden dene", "Spróbuj ponownie", "Încearcă din nou",
      "Reintentar", "Réessayer", "Riprova"}},
    {"btn_update_restart",
     {"Aktualisieren und neu starten", "Update and restart", "Güncelle ve yeniden başlat",
      "Zaktualizuj i uruchom ponownie", "Actualizează și repornește", "Actualizar y reiniciar",
      "Mettre à jour et redémarrer", "Aggiorna e riavvia"}},
    {"err_game_exit",
     {"Das Spiel wurde unerwartet beendet. Details stehen im Spielprotokoll:",
      "The game ended unexpectedly. Details are in the game log:",
      "Oyun beklenmedik şekilde kapandı. Ayrıntılar oyun günlüğünde:",
      "Gra zakończyła się nieoczekiwanie. Szczegóły znajdują się w dzienniku gry:",
      "Jocul s-a închis neașteptat. Detaliile sunt în jurnalul jocului:",
      "El juego se cerró inesperadamente. Los detalles están en el registro del juego:",
      "Le jeu s’est arrêté de manière inattendue. Les détails se trouvent dans le journal du "
      "jeu :",
      "Il gioco si è chiuso in modo imprevisto. I dettagli sono nel registro del gioco:"}},
    {"err_game_running",
     {"Kaldrith läuft noch. Bitte das Spiel beenden und es erneut versuchen.",
      "Kaldrith is still running. Quit the game and try again.",
      "Kaldrith hâlâ çalışıyor. Oyunu kapatıp yeniden deneyin.",
      "Kaldrith nadal działa. Zamknij grę i spróbuj ponownie.",
      "Kaldrith rulează încă. Închideți jocul și încercați din nou.",
      "Kaldrith sigue en ejecución. Cierra el juego e inténtalo de nuevo.",
      "Kaldrith est toujours en cours d’exécution. Quittez le jeu, puis réessayez.",
      "Kaldrith è ancora in esecuzione. Chiudi il gioco e riprova."}},
    {"err_other",
     {"Unerwarteter Fehler. Details stehen im Protokoll:",
      "Unexpected error. Details are in the log:", "Beklenmeyen hata. Ayrıntılar günlükte:",
      "Nieoczekiwany błąd. Szczegóły znajdują się w dzienniku:",
      "Eroare neașteptată. Detaliile sunt în jurnal:",
      "Error inesperado. Los detalles están en el registro:",
      "Erreur inattendue. Les détails se trouvent dans le journal :",
      "Errore imprevisto. I dettagli sono nel registro:"}},
    {"mac_install_failed",
     {"Kaldrith konnte nicht im Ordner „Programme“ installiert werden:",
      "Kaldrith could not be installed in the Applications folder:",
      "Kaldrith, Uygulamalar klasörüne yüklenemedi:",
      "Nie udało się zainstalować aplikacji Kaldrith w folderze Aplikacje:",
      "Kaldrith nu a putut fi instalat în dosarul Aplicații:",
      "No se ha podido instalar Kaldrith en la carpeta Aplicaciones:",
      "Impossible d’installer Kaldrith dans le dossier Applications :",
      "Impossibile installare Kaldrith nella cartella Applicazioni:"}},
    {"mac_install_offer",
     {"Kaldrith liegt noch nicht im Ordner „Programme“. Jetzt dort installieren? Kaldrith "
      "startet danach von dort.",
      "Kaldrith is not in your Applications folder yet. Install it there now? Kaldrith will "
      "then start from there.",
      "Kaldrith henüz Uygulamalar klasörünüzde değil. Şimdi oraya yüklensin mi? Kaldrith "
      "ardından oradan başlatılır.",
      "Aplikacji Kaldrith nie ma jeszcze w folderze Aplikacje. Zainstalować ją tam teraz? "
      "Aplikacja zostanie następnie uruchomiona z tego folderu.",
      "Kaldrith nu se află încă în dosarul Aplicații. Doriți să îl instalați acum acolo? "
      "Kaldrith va porni apoi de acolo.",
      "Kaldrith aún no está en tu carpeta Aplicaciones. ¿Quieres instalarlo ahí ahora? "
      "Después se iniciará desde allí.",
      "Kaldrith ne se trouve pas encore dans votre dossier Applications. L’y installer "
      "maintenant ? Kaldrith démarrera ensuite depuis ce dossier.",
      "Kaldrith non si trova ancora nella cartella Applicazioni. Vuoi installarlo lì adesso? "
      "In seguito verrà avviato da lì."}},
    {"mac_installing",
     {"Kaldrith wird im Ordner „Programme“ installiert\u00a0\u2026",
      "Installing Kaldrith in the Applications folder\u00a0\u2026",
      "Kaldrith, Uygulamalar klasörüne yükleniyor\u00a0\u2026",
      "Instalowanie aplikacji Kaldrith w folderze Aplikacje\u00a0\u2026",
      "Se instalează Kaldrith în dosarul Aplicații\u00a0\u2026",
      "Instalando Kaldrith en la carpeta Aplicaciones\u00a0\u2026",
      "Installation de Kaldrith dans le dossier Applications\u00a0\u2026",
      "Installazione di Kaldrith nella cartella Applicazioni\u00a0\u2026"}},
    {"mac_other_running",
     {"Eine andere Kopie von Kaldrith ist noch geöffnet und ließ sich nicht schließen. Bitte "
      "sie beenden und es erneut versuchen.",
      "Another copy of Kaldrith is still open and could not be closed. Quit it and try again.",
      "Kaldrith’in başka bir kopyası hâlâ açık ve kapatılamadı. Onu kapatıp yeniden deneyin.",
      "Inna kopia aplikacji Kaldrith jest nadal otwarta i nie udało się jej zamknąć. Zamknij ją "
      "i spróbuj ponownie.",
      "O altă copie a aplicației Kaldrith este încă deschisă și nu a putut fi închisă. Închideți-o "
      "și "
      "încercați din nou.",
      "Otra copia de Kaldrith sigue abierta y no se ha podido cerrar. Ciérrala e inténtalo de "
      "nuevo.",
      "Une autre copie de Kaldrith est encore ouverte et n’a pas pu être fermée. Quittez-la, "
      "puis réessayez.",
      "Un’altra copia di Kaldrith è ancora aperta e non è stato possibile chiuderla. Chiudila e "
      "riprova."}},
    {"prefix_setup",
     {"Spiel wird für den ersten Start eingerichtet. Das kann einige Minuten dauern\u00a0\u2026",
      "Preparing the game for its first start. This can take a few minutes\u00a0\u2026",
      "Oyun ilk açılış için hazırlanıyor. Bu birkaç dakika sürebilir\u00a0\u2026",
      "Przygotowywanie gry do pierwszego uruchomienia. Może to potrwać kilka minut\u00a0\u2026",
      "Jocul se pregătește pentru prima pornire. Acest lucru poate dura câteva minute\u00a0\u2026",
      "Preparando el juego para el primer inicio. Esto puede tardar unos minutos\u00a0\u2026",
      "Préparation du premier lancement du jeu. Cela peut prendre quelques minutes\u00a0\u2026",
      "Preparazione del gioco per il primo avvio. Potrebbe richiedere alcuni minuti\u00a0\u2026"}},
    {"rosetta_missing",
     {"Rosetta ist nicht installiert, daher kann das Spiel auf diesem Mac nicht laufen. Bitte "
      "Rosetta installieren und Kaldrith erneut starten.",
      "Rosetta is not installed, so the game can’t run on this Mac. Install Rosetta and start "
      "Kaldrith again.",
      "Rosetta yüklü olmadığı için oyun bu Mac’te çalışamıyor. Rosetta’yı yükleyip Kaldrith’i "
      "yeniden başlatın.",
      "Rosetta nie jest zainstalowana, więc gra nie może działać na tym Macu. Zainstaluj "
      "Rosettę i uruchom Kaldrith ponownie.",
      "Rosetta nu este instalată, așa că jocul nu poate rula pe acest Mac. Instalați Rosetta și "
      "porniți din nou Kaldrith.",
      "Rosetta no está instalado, por lo que el juego no puede ejecutarse en este Mac. Instala "
      "Rosetta y vuelve a abrir Kaldrith.",
      "Rosetta n’est pas installé : le jeu ne peut donc pas fonctionner sur ce Mac. Installez "
      "Rosetta, puis relancez Kaldrith.",
      "Rosetta non è installato, quindi il gioco non può funzionare su questo Mac. Installa "
      "Rosetta e avvia di nuovo Kaldrith."}},
    {"rosetta_needed",
     {"Das Spiel braucht Rosetta, um auf einem Mac mit Apple-Chip zu laufen. Rosetta jetzt "
      "installieren?",
      "The game needs Rosetta to run on a Mac with Apple silicon. Install Rosetta now?",
      "Oyunun Apple çipli bir Mac’te çalışması için Rosetta gerekiyor. Rosetta şimdi yüklensin "
      "mi?",
      "Do działania gry na Macu z procesorem Apple potrzebna jest Rosetta. Zainstalować ją "
      "teraz?",
      "Jocul are nevoie de Rosetta pentru a rula pe un Mac cu procesor Apple. Doriți să "
      "instalați Rosetta acum?",
      "El juego necesita Rosetta para funcionar en un Mac con chip de Apple. ¿Quieres instalar "
      "Rosetta ahora?",
      "Le jeu a besoin de Rosetta pour fonctionner sur un Mac doté d’une puce Apple. Installer "
      "Rosetta maintenant ?",
      "Il gioco richiede Rosetta per funzionare su un Mac con chip Apple. Vuoi installare "
      "Rosetta ora?"}},
    {"rosetta_wait",
     {"Warten auf den Abschluss der Rosetta-Installation\u00a0\u2026",
      "Waiting for the Rosetta installation to finish\u00a0\u2026",
      "Rosetta yüklemesinin bitmesi bekleniyor\u00a0\u2026",
      "Oczekiwanie na zakończenie instalacji Rosetty\u00a0\u2026",
      "Se așteaptă finalizarea instalării Rosetta\u00a0\u2026",
      "Esperando a que termine la instalación de Rosetta\u00a0\u2026",
      "En attente de la fin de l’installation de Rosetta\u00a0\u2026",
      "In attesa del completamento dell’installazione di Rosetta\u00a0\u2026"}},
    {"stage_manifest",
     {"Suche nach Updates \u2026", "Checking for updates \u2026",
      "Güncellemeler denetleniyor \u2026", "Sprawdzanie aktualizacji \u2026",
      "Se caută actualizări \u2026", "Buscando actualizaciones \u2026",
      "Recherche de mises à jour \u2026", "Ricerca aggiornamenti \u2026"}},
    {"stage_ready",
     {"Das Spiel ist bereit.", "The game is ready.", "Oyun hazır.", "Gra jest gotowa.",
      "Jocul este pregătit.", "El juego está listo.", "Le jeu est prêt.", "Il gioco è pronto."}},
    {"stage_verify_installed",
     {"Die installierten Spieldateien werden geprüft\u00a0\u2026",
      "Checking the installed game files\u00a0\u2026",
      "Yüklü oyun dosyaları denetleniyor\u00a0\u2026",
      "Sprawdzanie zainstalowanych plików gry\u00a0\u2026",
      "Se verifică fișierele instalate ale jocului\u00a0\u2026",
      "Comprobando los archivos del juego instalados\u00a0\u2026",
      "Vérification des fichiers du jeu installés\u00a0\u2026",
      "Verifica dei file di gioco installati\u00a0\u2026"}},
    {"stage_verify",
     {"Das Spiel läuft bereits. Die Spieldateien werden geprüft\u00a0\u2026",
      "The game is already running. Checking the game files\u00a0\u2026",
      "Oyun zaten çalışıyor. Oyun dosyaları denetleniyor\u00a0\u2026",
      "Gra jest już uruchomiona. Sprawdzanie plików gry\u00a0\u2026",
      "Jocul rulează deja. Se verifică fișierele jocului\u00a0\u2026",
      "El juego ya está en marcha. Comprobando los archivos del juego\u00a0\u2026",
      "Le jeu est déjà lancé. Vérification des fichiers du jeu\u00a0\u2026",
      "Il gioco è già in esecuzione. Verifica dei file di gioco\u00a0\u2026"}},
    {"starting",
     {"Spiel wird gestartet\u00a0\u2026", "Starting the game\u00a0\u2026",
      "Oyun başlatılıyor\u00a0\u2026", "Uruchamianie gry\u00a0\u2026",
      "Se pornește jocul\u00a0\u2026", "Iniciando el juego\u00a0\u2026",
      "Lancement du jeu\u00a0\u2026", "Avvio del gioco\u00a0\u2026"}},
    {"xplat_done",
     {"Fertig. Kaldrith wird neu gestartet\u00a0\u2026", "Done. Kaldrith is restarting\u00a0\u2026",
      "Tamamlandı. Kaldrith yeniden başlatılıyor\u00a0\u2026",
      "Gotowe. Kaldrith uruchamia się ponownie\u00a0\u2026",
      "Gata. Kaldrith repornește\u00a0\u2026", "Listo. Kaldrith se está reiniciando\u00a0\u2026",
      "Terminé. Kaldrith redémarre\u00a0\u2026", "Fatto. Kaldrith si sta riavviando\u00a0\u2026"}},
    {"xplat_downloaded",
     {"Download abgeschlossen.", "Download complete.", "İndirme tamamlandı.",
      "Pobieranie zakończone.", "Descărcare finalizată.", "Descarga completada.",
      "Téléchargement terminé.", "Download completato."}},
    // The launcher appends a blank and the version.
    {"xplat_downloading",
     {"Download von Kaldrith", "Downloading Kaldrith", "İndiriliyor: Kaldrith",
      "Pobieranie aplikacji Kaldrith", "Se descarcă Kaldrith", "Descargando Kaldrith",
      "Téléchargement de Kaldrith", "Download di Kaldrith"}},
    {"xplat_failed",
     {"Kaldrith konnte nicht aktualisiert werden:", "Kaldrith could not be updated:",
      "Kaldrith güncellenemedi:", "Nie udało się zaktualizować aplikacji Kaldrith:",
      "Kaldrith nu a putut fi actualizat:", "No se ha podido actualizar Kaldrith:",
      "Impossible de mettre à jour Kaldrith :", "Impossibile aggiornare Kaldrith:"}},
    {"xplat_installing",
     {"Update wird installiert\u00a0\u2026", "Installing the update\u00a0\u2026",
      "Güncelleme yükleniyor\u00a0\u2026", "Instalowanie aktualizacji\u00a0\u2026",
      "Se instalează actualizarea\u00a0\u2026", "Instalando la actualización\u00a0\u2026",
      "Installation de la mise à jour\u00a0\u2026",
      "Installazione dell’aggiornamento\u00a0\u2026"}},
    {"xplat_mac_opened",
     {"Das Disk-Image mit der neuen Version ist jetzt geöffnet. Bitte Kaldrith in den Ordner "
      "„Programme“ ziehen, um diese Kopie zu ersetzen, und es dann von dort starten.",
      "The disk image with the new version is now open. Drag Kaldrith into your Applications "
      "folder to replace this copy, then start it from there.",
      "Yeni sürümü içeren disk görüntüsü açıldı. Bu kopyanın yerine geçmesi için Kaldrith’i "
      "Uygulamalar klasörüne sürükleyin, ardından oradan başlatın.",
      "Obraz dysku z nową wersją został otwarty. Przeciągnij Kaldrith do folderu Aplikacje, "
      "zastępując tę kopię, a następnie uruchom aplikację stamtąd.",
      "Imaginea de disc cu noua versiune a fost deschisă. Trageți Kaldrith în dosarul "
      "Aplicații pentru a înlocui această copie, apoi porniți-l de acolo.",
      "Se ha abierto la imagen de disco con la nueva versión. Arrastra Kaldrith a la carpeta "
      "Aplicaciones para sustituir esta copia y ábrelo desde allí.",
      "L’image disque contenant la nouvelle version est ouverte. Faites glisser Kaldrith dans "
      "le dossier Applications pour remplacer cette copie, puis lancez-le depuis ce dossier.",
      "L’immagine disco con la nuova versione è stata aperta. Trascina Kaldrith nella cartella "
      "Applicazioni per sostituire questa copia, poi avvialo da lì."}},
    {"xplat_required_manual",
     {"Kaldrith {old} kann nicht mehr verwendet werden, und für diesen Mac ist hier kein "
      "Update verfügbar. Bitte die aktuelle Version von der Kaldrith-Website herunterladen.",
      "Kaldrith {old} can no longer be used, and no update for this Mac is available here. "
      "Please download the current version from the Kaldrith website.",
      "Kaldrith {old} artık kullanılamıyor ve bu Mac için buradan güncelleme sunulmuyor. "
      "Lütfen güncel sürümü Kaldrith web sitesinden indirin.",
      "Wersji {old} aplikacji Kaldrith nie można już używać, a aktualizacja dla tego Maca nie "
      "jest tu dostępna. Pobierz aktualną wersję ze strony internetowej Kaldrith.",
      "Kaldrith {old} nu mai poate fi folosit și nu există aici nicio actualizare pentru acest "
      "Mac. Descărcați versiunea actuală de pe site-ul Kaldrith.",
      "Kaldrith {old} ya no se puede usar y no hay ninguna actualización disponible aquí para "
      "este Mac. Descarga la versión actual desde el sitio web de Kaldrith.",
      "Kaldrith {old} ne peut plus être utilisé et aucune mise à jour n’est disponible ici pour "
      "ce Mac. Téléchargez la version actuelle sur le site web de Kaldrith.",
      "Kaldrith {old} non può più essere utilizzato e qui non è disponibile alcun "
      "aggiornamento per questo Mac. Scarica la versione attuale dal sito web di Kaldrith."}},
    // The launcher fills in the rejected {new} and the restored {old} version.
    {"xplat_start_failed_restored",
     {"Kaldrith {new} ließ sich nicht starten. Version {old} wurde wiederhergestellt.",
      "Kaldrith {new} could not be started, so version {old} has been restored.",
      "Kaldrith {new} başlatılamadı. {old} sürümü geri yüklendi.",
      "Nie udało się uruchomić wersji {new} aplikacji Kaldrith. Przywrócono wersję {old}.",
      "Kaldrith {new} nu a putut porni. A fost restaurată versiunea {old}.",
      "No se ha podido iniciar Kaldrith {new}. Se ha restaurado la versión {old}.",
      "Kaldrith {new} n’a pas pu démarrer. La version {old} a été rétablie.",
      "Non è stato possibile avviare Kaldrith {new}. È stata ripristinata la versione {old}."}},
    {"xplat_system_too_old",
     {"Kaldrith {new} ist verfügbar, benötigt aber macOS {min} oder neuer. Bitte das System "
      "aktualisieren, um es zu installieren.",
      "Kaldrith {new} is available, but it needs macOS {min} or later. Update your system to "
      "install it.",
      "Kaldrith {new} kullanıma sunuldu, ancak macOS {min} veya daha yeni bir sürüm "
      "gerektiriyor. Yüklemek için sisteminizi güncelleyin.",
      "Dostępna jest wersja {new} aplikacji Kaldrith, ale wymaga ona systemu macOS {min} lub "
      "nowszego. Zaktualizuj system, aby ją zainstalować.",
      "Kaldrith {new} este disponibil, dar necesită macOS {min} sau o versiune mai nouă. "
      "Actualizați sistemul pentru a-l instala.",
      "Kaldrith {new} está disponible, pero requiere macOS {min} o posterior. Actualiza el "
      "sistema para instalarlo.",
      "Kaldrith {new} est disponible, mais nécessite macOS {min} ou une version ultérieure. "
      "Mettez à jour votre système pour l’installer.",
      "Kaldrith {new} è disponibile, ma richiede macOS {min} o versioni successive. Aggiorna il "
      "sistema per installarlo."}},
    {"xplat_update_available",
     {"Kaldrith {new} ist verfügbar (installiert: {old}). Jetzt aktualisieren? Kaldrith "
      "startet danach neu.",
      "Kaldrith {new} is available (you have {old}). Update now? Kaldrith will restart.",
      "Kaldrith {new} kullanıma sunuldu (yüklü sürüm: {old}). Şimdi güncellensin mi? Kaldrith "
      "ardından yeniden başlatılır.",
      "Dostępna jest wersja {new} aplikacji Kaldrith (zainstalowana: {old}). Zaktualizować "
      "teraz? Aplikacja uruchomi się ponownie.",
      "Kaldrith {new} este disponibil (versiunea instalată: {old}). Doriți să actualizați acum? "
      "Kaldrith "
      "va reporni.",
      "Kaldrith {new} está disponible (tienes la {old}). ¿Quieres actualizar ahora? Kaldrith "
      "se reiniciará.",
      "Kaldrith {new} est disponible (version installée : {old}). Mettre à jour maintenant ? "
      "Kaldrith redémarrera.",
      "Kaldrith {new} è disponibile (versione installata: {old}). Vuoi aggiornare ora? "
      "Kaldrith verrà riavviato."}},
    {"xplat_update_available_mac",
     {"Kaldrith {new} ist verfügbar (installiert: {old}). Jetzt herunterladen? Die "
      "Installation aus dem Disk-Image erfolgt danach von Hand.",
      "Kaldrith {new} is available (you have {old}). Download it now? You will then install it "
      "yourself from the disk image.",
      "Kaldrith {new} kullanıma sunuldu (yüklü sürüm: {old}). Şimdi indirilsin mi? Ardından "
      "disk görüntüsünden kendiniz yüklemeniz gerekir.",
      "Dostępna jest wersja {new} aplikacji Kaldrith (zainstalowana: {old}). Pobrać ją teraz? "
      "Następnie trzeba będzie ją zainstalować samodzielnie z obrazu dysku.",
      "Kaldrith {new} este disponibil (versiunea instalată: {old}). Doriți să îl descărcați acum? "
      "Apoi îl veți instala manual din imaginea de disc.",
      "Kaldrith {new} está disponible (tienes la {old}). ¿Quieres descargarlo ahora? Después "
      "tendrás que instalarlo tú mismo desde la imagen de disco.",
      "Kaldrith {new} est disponible (version installée : {old}). Le télécharger maintenant ? "
      "Vous l’installerez ensuite vous-même depuis l’image disque.",
      "Kaldrith {new} è disponibile (versione installata: {old}). Vuoi scaricarlo ora? Dopo "
      "dovrai installarlo manualmente dall’immagine disco."}},
    // The launcher follows it with an empty line and the offer.
    {"xplat_update_required",
     {"Kaldrith {old} kann nicht mehr verwendet werden. Zum Weiterspielen ist das Update auf "
      "Version {new} nötig.",
      "Kaldrith {old} can no longer be used. Update to version {new} to keep playing.",
      "Kaldrith {old} artık kullanılamıyor. Oynamaya devam etmek için {new} sürümüne "
      "güncelleyin.",
      "Wersji {old} aplikacji Kaldrith nie można już używać. Aby dalej grać, zaktualizuj ją do "
      "wersji {new}.",
      "Kaldrith {old} nu mai poate fi folosit. Pentru a juca în continuare, actualizați la "
      "versiunea {new}.",
      "Kaldrith {old} ya no se puede usar. Actualiza a la versión {new} para seguir jugando.",
      "Kaldrith {old} ne peut plus être utilisé. Passez à la version {new} pour continuer à "
      "jouer.",
      "Kaldrith {old} non può più essere utilizzato. Aggiorna alla versione {new} per "
      "continuare a giocare."}},
};

}  // namespace

std::span<const TextRow> launcherTexts() {
  return kRows;
}

std::string_view launcherText(std::string_view key, Language language) {
  for (const auto& row : kRows) {
    if (row.key == key) return in(row.text, language);
  }
  return {};
}

std::optional<std::string> launcherTextsJson(std::string_view languageCode) {
  auto language = parseLanguage(languageCode);
  if (!language) return std::nullopt;
  nlohmann::ordered_json table = nlohmann::ordered_json::object();
  for (const auto& row : kRows) table[std::string(row.key)] = in(row.text, *language);
  return table.dump();
}

}  // namespace kaldra::update
