#pragma once
// Every text Valdrun shows, as English and German pairs (UTF-8), looked up by role in the
// language of the moment. Placeholders are those of printf; the comment of each role names
// what fills them.
#include <string_view>

namespace valdrun {

enum class Language : int { English = 0, German = 1 };

enum class Message : int {
    FirstTextReader,          // %s reader label
    FirstTextTerminal,        // %s reader label
    FirstTextSerialReader,    //
    UsbSuffix,                //
    NoticeOtherReader,        // %s other reader name, %s reader label
    NoticeReaderMissing,      // %s Descriptor, %s reader label
    FinalReaderMissing,       // %s Descriptor
    FinalSerialReaderMissing, // %s slot 1 name
    MoreThanOneReader,        // %s reader label
    MoreThanOneTerminal,      // %s Descriptor (German text only)
    UpToDateReader,           //
    UpToDateTerminal,         //
    FirmwareTooOld,           // %X %.2X current major, minor; %X %.2X target major, minor
    TerminalVersions,         // %s Descriptor, %d %d application, %s Descriptor, %d %d %d firmware
    UpgradeOffer,             // %s list text, %s FWUpdateTool
    ListJoint,                //
    ListApplication,          // %d %d target application
    ListFirmware,             // %d %d %d target firmware
    CommonCriteriaNotice,     //
    ProgressShort,            //
    ProgressLong,             //
    UpdateSucceeded,          //
    UpdateFailed,             //
    UpdateCancelled,          //
    VersionCheckCancelled,    //
    ReportFileError,          // %s report file name
    NoAdministratorRights,    //
    DescriptionError,         //
    InstallationTestAdvice,   //
    RestartAdviceServiceFailure, //
    RestartAdviceUpdateFailure,  //
    RestartQuestionFailure,      //
    RestartAdviceNewFirmware,    //
    RestartQuestionNewFirmware,  //
    ShutdownQuestion,            // %s Descriptor
    LanguageButton,              // the button offers the other language
    CancelButton,                //
    MainCaption,                 //
    TitleSuffix,                 //
    UpgradeButton,               //
    ToolHelpFailure,             //
};

std::string_view message(Message role, Language language);

// The Cancel button's caption when the window starts (English "Cancel", without accelerator).
inline constexpr std::string_view kCancelCaptionAtStart = "Cancel";

} // namespace valdrun
