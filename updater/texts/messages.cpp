#include "updater/texts/messages.h"

#include <iterator>

#include "updater/texts/launcher_texts.h"

namespace kaldra::update {

namespace {

// Columns: de, en, tr, pl, ro, es, fr, it.
constexpr Translations kMessages[] = {
    {"Liste der Spieldateien wird geladen\u00a0\u2026",
     "Loading the list of game files\u00a0\u2026", "Oyun dosyalarının listesi alınıyor\u00a0\u2026",
     "Pobieranie listy plików gry\u00a0\u2026", "Se încarcă lista fișierelor jocului\u00a0\u2026",
     "Cargando la lista de archivos del juego\u00a0\u2026",
     "Chargement de la liste des fichiers du jeu\u00a0\u2026",
     "Caricamento dell’elenco dei file di gioco\u00a0\u2026"},
    {"Spieldateien werden geprüft\u00a0\u2026", "Checking the game files\u00a0\u2026",
     "Oyun dosyaları denetleniyor\u00a0\u2026", "Sprawdzanie plików gry\u00a0\u2026",
     "Se verifică fișierele jocului\u00a0\u2026", "Comprobando los archivos del juego\u00a0\u2026",
     "Vérification des fichiers du jeu\u00a0\u2026", "Verifica dei file di gioco\u00a0\u2026"},
    {"Spieldateien werden heruntergeladen\u00a0\u2026", "Downloading the game files\u00a0\u2026",
     "Oyun dosyaları indiriliyor\u00a0\u2026", "Pobieranie plików gry\u00a0\u2026",
     "Se descarcă fișierele jocului\u00a0\u2026", "Descargando los archivos del juego\u00a0\u2026",
     "Téléchargement des fichiers du jeu\u00a0\u2026", "Download dei file di gioco\u00a0\u2026"},
    {"Update wird abgeschlossen\u00a0\u2026", "Finishing the update\u00a0\u2026",
     "Güncelleme tamamlanıyor\u00a0\u2026", "Kończenie aktualizacji\u00a0\u2026",
     "Se finalizează actualizarea\u00a0\u2026", "Finalizando la actualización\u00a0\u2026",
     "Finalisation de la mise à jour\u00a0\u2026", "Completamento dell’aggiornamento\u00a0\u2026"},
    {"Nichts geändert: Die Spieldateien sind aktuell.",
     "Nothing has changed: the game files are up to date.",
     "Değişiklik yok: Oyun dosyaları güncel.", "Bez zmian: pliki gry są aktualne.",
     "Nicio modificare: fișierele jocului sunt la zi.",
     "Sin cambios: los archivos del juego están al día.",
     "Aucun changement : les fichiers du jeu sont à jour.",
     "Nessuna modifica: i file di gioco sono aggiornati."},
    {"Die Spieldateien sind aktuell.", "The game files are up to date.", "Oyun dosyaları güncel.",
     "Pliki gry są aktualne.", "Fișierele jocului sunt la zi.",
     "Los archivos del juego están al día.", "Les fichiers du jeu sont à jour.",
     "I file di gioco sono aggiornati."},
    {"Die Spieldateien wurden aktualisiert.", "The game files have been updated.",
     "Oyun dosyaları güncellendi.", "Pliki gry zostały zaktualizowane.",
     "Fișierele jocului au fost actualizate.", "Los archivos del juego se han actualizado.",
     "Les fichiers du jeu ont été mis à jour.", "I file di gioco sono stati aggiornati."},
};

// In the order of FailureKind, without "other", which shares the launcher's text.
constexpr Translations kFailures[] = {
    {"Der Update-Server ist nicht erreichbar. Bitte die Internetverbindung prüfen und es "
     "erneut versuchen.",
     "The update server can’t be reached. Check your internet connection and try again.",
     "Güncelleme sunucusuna ulaşılamıyor. İnternet bağlantınızı denetleyip yeniden deneyin.",
     "Nie można połączyć się z serwerem aktualizacji. Sprawdź połączenie z internetem i "
     "spróbuj ponownie.",
     "Serverul de actualizări nu poate fi accesat. Verificați conexiunea la internet și "
     "încercați din nou.",
     "No se puede acceder al servidor de actualizaciones. Comprueba tu conexión a Internet e "
     "inténtalo de nuevo.",
     "Le serveur de mises à jour est injoignable. Vérifiez votre connexion Internet, puis "
     "réessayez.",
     "Impossibile raggiungere il server degli aggiornamenti. Controlla la connessione a "
     "Internet e riprova."},
    {"Die Spieldateien können nicht gespeichert werden. Bitte prüfen, ob genug Speicherplatz "
     "frei ist, und es erneut versuchen.",
     "The game files can’t be saved. Check that there is enough free disk space and try again.",
     "Oyun dosyaları kaydedilemiyor. Diskte yeterli boş alan olup olmadığını denetleyip "
     "yeniden deneyin.",
     "Nie można zapisać plików gry. Sprawdź, czy na dysku jest wystarczająco dużo wolnego "
     "miejsca, i spróbuj ponownie.",
     "Fișierele jocului nu pot fi salvate. Verificați dacă există suficient spațiu liber pe "
     "disc și încercați din nou.",
     "No se pueden guardar los archivos del juego. Comprueba que haya suficiente espacio libre "
     "en el disco e inténtalo de nuevo.",
     "Impossible d’enregistrer les fichiers du jeu. Vérifiez qu’il reste assez d’espace "
     "disque, puis réessayez.",
     "Impossibile salvare i file di gioco. Controlla che ci sia abbastanza spazio libero su "
     "disco e riprova."},
    {"Eine heruntergeladene Spieldatei ist beschädigt. Bitte später erneut versuchen.",
     "A downloaded game file is damaged. Please try again later.",
     "İndirilen bir oyun dosyası bozuk. Lütfen daha sonra yeniden deneyin.",
     "Pobrany plik gry jest uszkodzony. Spróbuj ponownie później.",
     "Un fișier descărcat al jocului este deteriorat. Încercați din nou mai târziu.",
     "Un archivo del juego descargado está dañado. Inténtalo de nuevo más tarde.",
     "Un fichier du jeu téléchargé est endommagé. Réessayez plus tard.",
     "Un file di gioco scaricato è danneggiato. Riprova più tardi."},
    {"Der Update-Server hat eine ungültige Liste der Spieldateien geliefert. Bitte später "
     "erneut versuchen.",
     "The update server sent an invalid list of game files. Please try again later.",
     "Güncelleme sunucusu geçersiz bir oyun dosyası listesi gönderdi. Lütfen daha sonra "
     "yeniden deneyin.",
     "Serwer aktualizacji przesłał nieprawidłową listę plików gry. Spróbuj ponownie później.",
     "Serverul de actualizări a trimis o listă nevalidă a fișierelor jocului. Încercați din "
     "nou mai târziu.",
     "El servidor de actualizaciones ha enviado una lista de archivos del juego no válida. "
     "Inténtalo de nuevo más tarde.",
     "Le serveur de mises à jour a envoyé une liste de fichiers du jeu non valide. Réessayez "
     "plus tard.",
     "Il server degli aggiornamenti ha inviato un elenco di file di gioco non valido. Riprova "
     "più tardi."},
    {"Die Liste der Spieldateien stammt nicht vom Herausgeber des Spiels und wurde "
     "abgelehnt. Bitte später erneut versuchen.",
     "The list of game files does not come from the game’s publisher and was refused. "
     "Please try again later.",
     "Oyun dosyalarının listesi oyunun yayıncısından gelmiyor ve reddedildi. Lütfen daha "
     "sonra yeniden deneyin.",
     "Lista plików gry nie pochodzi od wydawcy gry i została odrzucona. Spróbuj ponownie "
     "później.",
     "Lista fișierelor jocului nu provine de la editorul jocului și a fost respinsă. "
     "Încercați din nou mai târziu.",
     "La lista de archivos del juego no procede del editor del juego y se ha rechazado. "
     "Inténtalo de nuevo más tarde.",
     "La liste des fichiers du jeu ne provient pas de l’éditeur du jeu et a été refusée. "
     "Réessayez plus tard.",
     "L’elenco dei file di gioco non proviene dall’editore del gioco ed è stato rifiutato. "
     "Riprova più tardi."},
    {"Der Update-Server hat eine veraltete Liste der Spieldateien geliefert; sie wurde "
     "abgelehnt. Bitte später erneut versuchen.",
     "The update server sent an outdated list of game files, which was refused. Please try "
     "again later.",
     "Güncelleme sunucusu eski bir oyun dosyası listesi gönderdi ve liste reddedildi. Lütfen "
     "daha sonra yeniden deneyin.",
     "Serwer aktualizacji przesłał nieaktualną listę plików gry, która została odrzucona. "
     "Spróbuj ponownie później.",
     "Serverul de actualizări a trimis o listă învechită a fișierelor jocului, care a fost "
     "respinsă. Încercați din nou mai târziu.",
     "El servidor de actualizaciones ha enviado una lista de archivos del juego obsoleta y se "
     "ha rechazado. Inténtalo de nuevo más tarde.",
     "Le serveur de mises à jour a envoyé une liste de fichiers du jeu périmée, qui a été "
     "refusée. Réessayez plus tard.",
     "Il server degli aggiornamenti ha inviato un elenco di file di gioco non aggiornato, che "
     "è stato rifiutato. Riprova più tardi."},
    {"Ein anderes Kaldrith aktualisiert die Spieldateien bereits. Bitte warten, bis es fertig "
     "ist, und es erneut versuchen.",
     "Another Kaldrith is already updating the game files. Wait until it has finished and try "
     "again.",
     "Başka bir Kaldrith oyun dosyalarını zaten güncelliyor. Bitmesini bekleyip yeniden "
     "deneyin.",
     "Inna kopia Kaldrith już aktualizuje pliki gry. Zaczekaj, aż skończy, i spróbuj ponownie.",
     "O altă copie a aplicației Kaldrith actualizează deja fișierele jocului. Așteptați să "
     "termine și încercați din nou.",
     "Otra copia de Kaldrith ya está actualizando los archivos del juego. Espera a que termine "
     "e inténtalo de nuevo.",
     "Une autre copie de Kaldrith met déjà à jour les fichiers du jeu. Attendez qu’elle ait "
     "terminé, puis réessayez.",
     "Un’altra copia di Kaldrith sta già aggiornando i file di gioco. Attendi che finisca e "
     "riprova."},
};

// The launcher channel's failures, in the order of FailureKind; a network or busy failure
// reads as for the game files.
constexpr Translations kLauncherFailures[] = {
    {"Das Update kann nicht gespeichert werden. Bitte prüfen, ob genug Speicherplatz frei "
     "ist, und es erneut versuchen.",
     "The update can’t be saved. Check that there is enough free disk space and try again.",
     "Güncelleme kaydedilemiyor. Diskte yeterli boş alan olup olmadığını denetleyip yeniden "
     "deneyin.",
     "Nie można zapisać aktualizacji. Sprawdź, czy na dysku jest wystarczająco dużo wolnego "
     "miejsca, i spróbuj ponownie.",
     "Actualizarea nu poate fi salvată. Verificați dacă există suficient spațiu liber pe disc "
     "și încercați din nou.",
     "No se puede guardar la actualización. Comprueba que haya suficiente espacio libre en el "
     "disco e inténtalo de nuevo.",
     "Impossible d’enregistrer la mise à jour. Vérifiez qu’il reste assez d’espace disque, "
     "puis réessayez.",
     "Impossibile salvare l’aggiornamento. Controlla che ci sia abbastanza spazio libero su "
     "disco e riprova."},
    {"Das heruntergeladene Update ist beschädigt. Bitte später erneut versuchen.",
     "The downloaded update is damaged. Please try again later.",
     "İndirilen güncelleme bozuk. Lütfen daha sonra yeniden deneyin.",
     "Pobrana aktualizacja jest uszkodzona. Spróbuj ponownie później.",
     "Actualizarea descărcată este deteriorată. Încercați din nou mai târziu.",
     "La actualización descargada está dañada. Inténtalo de nuevo más tarde.",
     "La mise à jour téléchargée est endommagée. Réessayez plus tard.",
     "L’aggiornamento scaricato è danneggiato. Riprova più tardi."},
    {"Der Update-Server hat eine ungültige Beschreibung des Updates geliefert. Bitte später "
     "erneut versuchen.",
     "The update server sent an invalid description of the update. Please try again later.",
     "Güncelleme sunucusu geçersiz bir güncelleme açıklaması gönderdi. Lütfen daha sonra "
     "yeniden deneyin.",
     "Serwer aktualizacji przesłał nieprawidłowy opis aktualizacji. Spróbuj ponownie później.",
     "Serverul de actualizări a trimis o descriere nevalidă a actualizării. Încercați din nou "
     "mai târziu.",
     "El servidor de actualizaciones ha enviado una descripción de la actualización no válida. "
     "Inténtalo de nuevo más tarde.",
     "Le serveur de mises à jour a envoyé une description de la mise à jour non valide. "
     "Réessayez plus tard.",
     "Il server degli aggiornamenti ha inviato una descrizione dell’aggiornamento non valida. "
     "Riprova più tardi."},
    {"Das Update stammt nicht vom Herausgeber von Kaldrith und wurde abgelehnt. Bitte später "
     "erneut versuchen.",
     "The update does not come from Kaldrith’s publisher and was refused. Please try again "
     "later.",
     "Güncelleme Kaldrith’in yayıncısından gelmiyor ve reddedildi. Lütfen daha sonra yeniden "
     "deneyin.",
     "Aktualizacja nie pochodzi od wydawcy Kaldrith i została odrzucona. Spróbuj ponownie "
     "później.",
     "Actualizarea nu provine de la editorul Kaldrith și a fost respinsă. Încercați din nou "
     "mai târziu.",
     "La actualización no procede del editor de Kaldrith y se ha rechazado. Inténtalo de "
     "nuevo más tarde.",
     "La mise à jour ne provient pas de l’éditeur de Kaldrith et a été refusée. Réessayez "
     "plus tard.",
     "L’aggiornamento non proviene dall’editore di Kaldrith ed è stato rifiutato. Riprova più "
     "tardi."},
    {"Der Update-Server hat eine veraltete Beschreibung des Updates geliefert; sie wurde "
     "abgelehnt. Bitte später erneut versuchen.",
     "The update server sent an outdated description of the update, which was refused. "
     "Please try again later.",
     "Güncelleme sunucusu eski bir güncelleme açıklaması gönderdi ve açıklama reddedildi. "
     "Lütfen daha sonra yeniden deneyin.",
     "Serwer aktualizacji przesłał nieaktualny opis aktualizacji, który został odrzucony. "
     "Spróbuj ponownie później.",
     "Serverul de actualizări a trimis o descriere învechită a actualizării, care a fost "
     "respinsă. Încercați din nou mai târziu.",
     "El servidor de actualizaciones ha enviado una descripción de la actualización obsoleta "
     "y se ha rechazado. Inténtalo de nuevo más tarde.",
     "Le serveur de mises à jour a envoyé une description de la mise à jour périmée, qui a "
     "été refusée. Réessayez plus tard.",
     "Il server degli aggiornamenti ha inviato una descrizione dell’aggiornamento non "
     "aggiornata, che è stata rifiutata. Riprova più tardi."},
};

static_assert(std::size(kLauncherFailures) == static_cast<std::size_t>(FailureKind::busy) - 1);
static_assert(std::size(kMessages) == static_cast<std::size_t>(Message::readyUpdated) + 1);
static_assert(std::size(kFailures) == static_cast<std::size_t>(FailureKind::other));

}  // namespace

std::string_view launcherFailureMessage(FailureKind kind, Language language) {
  if (kind == FailureKind::network || kind >= FailureKind::busy)
    return failureMessage(kind, language);
  return in(kLauncherFailures[static_cast<std::size_t>(kind) - 1], language);
}

std::string_view message(Message message, Language language) {
  return in(kMessages[static_cast<std::size_t>(message)], language);
}

std::string_view failureMessage(FailureKind kind, Language language) {
  if (kind == FailureKind::other) return launcherText("err_other", language);
  return in(kFailures[static_cast<std::size_t>(kind)], language);
}

}  // namespace kaldra::update
