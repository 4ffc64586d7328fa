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
     "El servidor de actualizaciones ha enviado una lista no válida de archivos del juego. "
     "Inténtalo de nuevo más tarde.",
     "Le serveur de mises à jour a envoyé une liste non valide de fichiers du jeu. Réessayez "
     "plus tard.",
     "Il server degli aggiornamenti ha inviato un elenco non valido dei file di gioco. Riprova "
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
     "El servidor de actualizaciones ha enviado una lista obsoleta de archivos del juego y se "
     "ha rechazado. Inténtalo de nuevo más tarde.",
     "Le serveur de mises à jour a envoyé une liste périmée de fichiers du jeu, qui a été "
     "refusée. Réessayez plus tard.",
     "Il server degli aggiornamenti ha inviato un elenco obsoleto dei file di gioco, che è "
     "stato rifiutato. Riprova più tardi."},
    {"Eine andere Kopie von Kaldrith aktualisiert die Spieldateien bereits. Bitte warten, bis "
     "sie fertig ist, und es erneut versuchen.",
     "Another copy of Kaldrith is already updating the game files. Wait until it has finished "
     "and try again.",
     "Kaldrith’in başka bir kopyası oyun dosyalarını zaten güncelliyor. Bitmesini bekleyip "
     "yeniden deneyin.",
     "Inna kopia aplikacji Kaldrith już aktualizuje pliki gry. Zaczekaj, aż skończy, i "
     "spróbuj ponownie.",
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
     "El servidor de actualizaciones ha enviado una descripción no válida de la actualización. "
     "Inténtalo de nuevo más tarde.",
     "Le serveur de mises à jour a envoyé une description non valide de la mise à jour. "
     "Réessayez plus tard.",
     "Il server degli aggiornamenti ha inviato una descrizione non valida dell’aggiornamento. "
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
     "El servidor de actualizaciones ha enviado una descripción obsoleta de la actualización "
     "y se ha rechazado. Inténtalo de nuevo más tarde.",
     "Le serveur de mises à jour a envoyé une description périmée de la mise à jour, qui a "
     "été refusée. Réessayez plus tard.",
     "Il server degli aggiornamenti ha inviato una descrizione obsoleta dell’aggiornamento, "
     "che è stata rifiutata. Riprova più tardi."},
};

constexpr Translations kNotOffered{
    "Der Update-Server bietet dieses Spiel derzeit nicht an. Bitte später erneut versuchen; "
    "wenn das so bleibt, den Support des Spiels kontaktieren.",
    "The update server does not offer this game at the moment. Please try again later; if "
    "this goes on, contact the game’s support.",
    "Güncelleme sunucusu şu anda bu oyunu sunmuyor. Lütfen daha sonra yeniden deneyin; sorun "
    "sürerse oyunun destek ekibine başvurun.",
    "Serwer aktualizacji nie udostępnia obecnie tej gry. Spróbuj ponownie później; jeśli "
    "problem się powtarza, skontaktuj się z pomocą techniczną gry.",
    "Serverul de actualizări nu oferă acest joc în acest moment. Încercați din nou mai "
    "târziu; dacă problema persistă, contactați asistența jocului.",
    "El servidor de actualizaciones no ofrece este juego en este momento. Inténtalo de nuevo "
    "más tarde; si el problema continúa, ponte en contacto con el soporte del juego.",
    "Le serveur de mises à jour ne propose pas ce jeu pour le moment. Réessayez plus tard ; "
    "si le problème persiste, contactez le support du jeu.",
    "Il server degli aggiornamenti non offre questo gioco al momento. Riprova più tardi; se il "
    "problema persiste, contatta l’assistenza del gioco."};

// %1 the megabytes needed, %2 the folder, %3 the megabytes free.
constexpr Translations kNoSpace{
    "Für das Update ist nicht genug Speicherplatz frei: Es braucht %1 MB in %2, frei sind nur "
    "%3 MB. Bitte Platz schaffen und es erneut versuchen.",
    "There isn’t enough free disk space for the update: it needs %1 MB in %2, and only %3 MB "
    "are free. Free up some space and try again.",
    "Güncelleme için yeterli boş disk alanı yok: %2 konumunda %1 MB gerekiyor, yalnızca %3 MB "
    "boş. Biraz yer açıp yeniden deneyin.",
    "Za mało wolnego miejsca na dysku na aktualizację: potrzeba %1 MB w %2, a wolne jest tylko "
    "%3 MB. Zwolnij trochę miejsca i spróbuj ponownie.",
    "Nu există suficient spațiu liber pe disc pentru actualizare: sunt necesari %1 MB în %2, "
    "iar liberi sunt doar %3 MB. Eliberați spațiu și încercați din nou.",
    "No hay suficiente espacio libre en el disco para la actualización: se necesitan %1 MB en "
    "%2 y solo hay %3 MB libres. Libera espacio e inténtalo de nuevo.",
    "Il n’y a pas assez d’espace disque libre pour la mise à jour : il faut %1 Mo dans "
    "%2, et seuls %3 Mo sont libres. Libérez de l’espace, puis réessayez.",
    "Non c’è abbastanza spazio libero su disco per l’aggiornamento: servono %1 MB in %2 e ne "
    "sono liberi solo %3 MB. Libera spazio e riprova."};

static_assert(std::size(kLauncherFailures) == static_cast<std::size_t>(FailureKind::busy) - 1);
static_assert(std::size(kMessages) == static_cast<std::size_t>(Message::readyUpdated) + 1);
static_assert(std::size(kFailures) == static_cast<std::size_t>(FailureKind::other));

}  // namespace

std::string_view launcherFailureMessage(FailureKind kind, Language language) {
  if (kind == FailureKind::network || kind >= FailureKind::busy)
    return failureMessage(kind, language);
  return in(kLauncherFailures[static_cast<std::size_t>(kind) - 1], language);
}

std::string_view notOfferedMessage(Language language) {
  return in(kNotOffered, language);
}

std::string spaceMessage(std::uint64_t neededMb, const std::string& folder, std::uint64_t freeMb,
                         Language language) {
  // One pass, so that a "%" in the folder's name stays as it is.
  const std::string values[] = {std::to_string(neededMb), folder, std::to_string(freeMb)};
  std::string_view pattern = in(kNoSpace, language);
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '3') {
      text += values[pattern[++i] - '1'];
    } else {
      text += pattern[i];
    }
  }
  return text;
}

std::string_view message(Message message, Language language) {
  return in(kMessages[static_cast<std::size_t>(message)], language);
}

std::string_view failureMessage(FailureKind kind, Language language) {
  if (kind == FailureKind::other) return launcherText("err_other", language);
  return in(kFailures[static_cast<std::size_t>(kind)], language);
}

}  // namespace kaldra::update
