#include "wrapper/messages.h"

#include <array>

namespace valdrun {
namespace {

struct Pair {
    Message role;
    std::string_view english;
    std::string_view german;
};

// In the order of the roles; a static_assert below keeps them in step.
constexpr std::array kMessages = {
    Pair{Message::FirstTextReader,
         "Please connect the %s smart card reader or click <Cancel> to skip the firmware update "
         "now.",
         "Bitte schließen Sie den %s Chipkartenleser jetzt an oder klicken Sie auf <Abbrechen>, "
         "um das Firmware Update abzubrechen."},
    Pair{Message::FirstTextTerminal,
         "Please connect the %s terminal or click <Cancel> to skip the firmware version check "
         "now.",
         "Bitte schließen Sie das %s-Terminal jetzt an oder klicken Sie auf <Abbrechen>, um die "
         "Überprüfung der Firmware-Version abzubrechen."},
    Pair{Message::FirstTextSerialReader, "\nPlease wait without performing any operation.",
         "\nDies kann einige Minuten dauern. Bitte warten..."},
    Pair{Message::UsbSuffix, " as USB", " als USB"},
    Pair{Message::NoticeOtherReader,
         "A \"%s\" is connected to the system.\nPlease connect a %s smart card reader and click "
         "then the <OK> button.",
         "Es wurde ein %s angeschlossen.\nBitte schließen Sie den %s Leser an und klicken Sie "
         "dann auf <OK>."},
    Pair{Message::NoticeReaderMissing,
         "No %s reader is connected to the system.\nPlease connect a %s smart card reader and "
         "click then the <OK> button.",
         "Es wurde kein %s Leser angeschlossen.\nBitte schließen Sie den %s Leser an und klicken "
         "Sie dann auf <OK>."},
    Pair{Message::FinalReaderMissing, "No %s reader is connected to the system.",
         "Es wurde kein %s Leser angeschlossen"},
    Pair{Message::FinalSerialReaderMissing, "No %s is connected to the system.",
         "Es ist kein %s angeschlossen."},
    Pair{Message::MoreThanOneReader,
         "More than one smart card reader found.\nPlease connect the %s smart card reader alone "
         "and click <OK> to continue",
         "Es wurde mehr als ein Chipkartenleser im System gefunden.\nBitte schließen Sie nur den "
         "%s Chipkartenleser an und klicken Sie dann auf <OK>."},
    Pair{Message::MoreThanOneTerminal,
         "More than one terminal found.\nPlease connect one halvane alone and click <OK> to "
         "continue.",
         "Es wurde mehr als ein Chipkartenleser im System gefunden.\nBitte schließen Sie nur den "
         "%s Chipkartenleser an und klicken Sie dann auf <OK>."},
    Pair{Message::UpToDateReader,
         "The reader already contains the latest Firmware Version. No need to update the "
         "Firmware.",
         "Der Leser enthält bereits die aktuelle Firmware Version. Eine Aktualisierung der "
         "Firmware ist nicht notwendig."},
    Pair{Message::UpToDateTerminal,
         "The Halvane terminal already contains the latest Firmware Version. No need to update "
         "the Firmware.",
         "Das Halvane-Terminal enthält bereits die aktuelle Firmware Version. Eine "
         "Aktualisierung der Firmware ist nicht notwendig."},
    Pair{Message::FirmwareTooOld,
         "\nA firmware update from V%X.%.2X to V%X.%.2X is not possible.\nPlease contact our "
         "support!",
         "\nEine Firmware-Aktualisierung von V%X.%.2X auf V%X.%.2X ist nicht möglich.\nBitte "
         "wenden Sie sich an den Support!"},
    Pair{Message::TerminalVersions,
         "The version of application on the %s terminal is V%d.%d.\nThe version of firmware on "
         "%s is V%d.%d.%d. ",
         "Die Version der Applikation im %s-Terminal ist V%d.%d.\nDie Version der Firmware im %s "
         "ist V%d.%d.%d."},
    Pair{Message::UpgradeOffer,
         "Click <Upgrade> to update Halvane to the actual\n %s using the %s tool.",
         "Klicken Sie auf <Upgrade>, um das Halvane auf die\naktuelle %s mittels des Programms %s "
         "zu aktualisieren."},
    Pair{Message::ListJoint, " and ", " und "},
    Pair{Message::ListApplication, "application V%d.%d", "Applikation V%d.%d"},
    Pair{Message::ListFirmware, "firmware version V%d.%d.%d", "Firmware Version V%d.%d.%d"},
    Pair{Message::CommonCriteriaNotice,
         "The firmware version, which will be loaded, is not yet CommonCriteria certified.",
         "Die Firmwareversion, die jetzt geladen wird, wurde noch nicht CommonCriteria "
         "zertifiziert."},
    Pair{Message::ProgressShort,
         "\nFirmware Download in Progress... \nPlease wait without performing any operation.",
         "\nDie Firmwareaktualisierung ist gestartet. \nDies kann einige Minuten dauern. Bitte "
         "warten..."},
    Pair{Message::ProgressLong,
         "Firmware Download in Progress... Please wait without performing any operation.\n"
         "During the DFU operation, the 'Unsafe Removal of Device' message is displayed by the "
         "operating system. This behaviour is normal.\nPlease dismiss the message by pressing "
         "the OK button",
         "Die Firmwareaktualisierung ist gestartet. Dies kann einige Minuten dauern. Bitte "
         "warten...\nWährend der Firmwareaktualisierung wird die Meldung \nUnzulässige "
         "Entfernen des Gerätes' angezeigt. Dieses Verhalten ist normal.Bitte ignorieren Sie "
         "diese Meldung mit einem Klick auf den OK Button."},
    Pair{Message::UpdateSucceeded, "Firmware Successfully updated.",
         "Die Aktualisierung der Firmware wurde erfolgreich durchgeführt."},
    Pair{Message::UpdateFailed, "Firmware Update failed.",
         "Es ist ein Fehler bei der Aktualisierung der Firmware aufgetreten."},
    Pair{Message::UpdateCancelled, "Firmware Update is cancelled.",
         "Das Firmware Update Programm wurde abgebrochen."},
    Pair{Message::VersionCheckCancelled, "Firmware version check is cancelled.",
         "Die Überprüfung der Firmware-Version wurde abgebrochen."},
    Pair{Message::ReportFileError, "Error during open file: %s",
         "Fehler beim Öffnen der Datei: %s"},
    Pair{Message::NoAdministratorRights,
         "\nCurrent user does not have enough privilege rights to perform the firmware upgrade.",
         "\nSie benötigen Administratorrechte, um die Firmware-Aktualisierung durchzuführen."},
    Pair{Message::DescriptionError,
         "Error occurred while parsing the INI file.\nPlease change the reader entries and "
         "launch this utility again.",
         "Fehler beim Lesen der INI-Datei.\nBitte ändern Sie die Einträge für den Leser und "
         "starten Sie das Programm erneut."},
    Pair{Message::InstallationTestAdvice,
         "Please run the \"Installation test\" utility after the system reboot",
         "Bitte starten Sie das Programm \"Installation Test\" nach dem Neustart des Systems."},
    Pair{Message::RestartAdviceServiceFailure,
         "Please reboot the system and start then the FWUpdate tool again.",
         "Bitte starten Sie das System neu und starten Sie danach das FWUpdate Programm noch "
         "einmal."},
    Pair{Message::RestartAdviceUpdateFailure,
         "Please reboot the system and start then the FWUpdate tool again.",
         "Bitte starten Sie das System neu und starten Sie danach das FWUpdate Programm noch "
         "einmal."},
    Pair{Message::RestartQuestionFailure,
         "Please reboot the system and start then the FWUpdate tool again.\nDo you want to "
         "reboot the system now?",
         "Bitte starten Sie das System neu und starten Sie danach das FWUpdate Programm noch "
         "einmal.\nMöchten Sie den PC jetzt neu starten?"},
    Pair{Message::RestartAdviceNewFirmware,
         "You must restart the PC before you can work with the new firmware.",
         "Sie müssen Ihren PC neu starten, bevor Sie mit der neuen Firmware arbeiten können."},
    Pair{Message::RestartQuestionNewFirmware,
         "You must restart the PC before you can work with the new firmware.\nDo you want to "
         "reboot the system now?",
         "Sie müssen Ihren PC neu starten, bevor Sie mit der neuen Firmware arbeiten können.\n"
         "Möchten Sie den PC jetzt neu starten?"},
    Pair{Message::ShutdownQuestion,
         "In order to power-cycle the %s smart card reader please shutdown and switch-off the "
         "system.\nDo you want to shutdown now?",
         "Sie müssen den PC herunterfahren und ausschalten, bevor Sie mit der neuen Firmware des "
         "%s Chipkartenlesers arbeiten können.\nMöchten Sie den PC jetzt herunterfahren?"},
    Pair{Message::LanguageButton, "&Deutsch", "&English"},
    Pair{Message::CancelButton, "&Cancel", "&Abbrechen"},
    Pair{Message::MainCaption, "Valdrun utility", "Valdrun utility"},
    Pair{Message::TitleSuffix, " - Installation", " - Installation"},
    Pair{Message::UpgradeButton, "Upgrade", "Upgrade"},
    Pair{Message::ToolHelpFailure,
         "Error in loading the kernel32 lib... Service cannot be stopped...",
         "Error in loading the kernel32 lib... Service cannot be stopped..."},
};

constexpr bool roles_in_order() {
    for (std::size_t i = 0; i < kMessages.size(); ++i) {
        if (static_cast<std::size_t>(kMessages[i].role) != i)
            return false;
    }
    return kMessages.size() == static_cast<std::size_t>(Message::ToolHelpFailure) + 1;
}
static_assert(roles_in_order(), "one pair per role, in the order of the roles");

} // namespace

std::string_view message(Message role, Language language) {
    const Pair& pair = kMessages[static_cast<std::size_t>(role)];
    return language == Language::German ? pair.german : pair.english;
}

} // namespace valdrun
