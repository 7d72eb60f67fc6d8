#pragma once
// The library's exception classes and the error codes that raise each of them, as one
// list. Every entry is one of
//   GROUP(Name, codes...)         a class derived from EAPDException directly
//   CLASS(Name, Group, codes...)  a class derived from the group class Group
// with the codes (possibly none) for which CheckErrorCode raises exactly that class.
// A group comes before its classes. Expand the list with APD_EXCEPTION_TABLE(GROUP, CLASS).
//
// To add a class: add its line here and its message text to strings/ErrorStrings.txt.

// clang-format off
#define APD_EXCEPTION_TABLE(GROUP, CLASS) \
    /* General */ \
    GROUP(EGeneral) \
    CLASS(EBadArgument, EGeneral, -1002) \
    CLASS(EGotQuitMsg, EGeneral, -1003) \
    CLASS(EBufferTooBig, EGeneral, -1004) \
    CLASS(EPortNotAssigned, EGeneral, -1005) \
    CLASS(EInternal, EGeneral, -1006, -7003, -7006, -7012) \
    CLASS(EModemNotAssigned, EGeneral, -1007) \
    CLASS(EPhonebookNotAssigned, EGeneral, -1008) \
    CLASS(ECannotUseWithWinSock, EGeneral, -1009) \
    /* Opening the port */ \
    GROUP(EOpenComm) \
    CLASS(EBadId, EOpenComm, -2001) \
    CLASS(EBaudRate, EOpenComm, -2002) \
    CLASS(EByteSize, EOpenComm, -2003) \
    CLASS(EDefault, EOpenComm, -2004) \
    CLASS(EHardware, EOpenComm, -2005) \
    CLASS(EMemory, EOpenComm, -2006) \
    CLASS(ECommNotOpen, EOpenComm, -2007) \
    CLASS(EAlreadyOpen, EOpenComm, -2008) \
    CLASS(ENoHandles, EOpenComm, -2009) \
    CLASS(ENoTimers, EOpenComm, -2010) \
    CLASS(ENoPortSelected, EOpenComm, -2011) \
    CLASS(ENotOpenedByTapi, EOpenComm, -2012) \
    /* Serial I/O, device layer, tracing and logging */ \
    GROUP(ESerialIO) \
    CLASS(ENullApi, ESerialIO, -3001) \
    CLASS(ERegisterHandlerFailed, ESerialIO, -3003) \
    CLASS(EPutBlockFail, ESerialIO, -3004) \
    CLASS(EGetBlockFail, ESerialIO, -3005) \
    CLASS(EOutputBufferTooSmall, ESerialIO, -3006) \
    CLASS(EBufferIsEmpty, ESerialIO, -3007) \
    CLASS(ETracingNotEnabled, ESerialIO, -3008) \
    CLASS(ELoggingNotEnabled, ESerialIO, -3009) \
    CLASS(EBaseAddressNotSet, ESerialIO, -3010) \
    CLASS(EDeviceLost, ESerialIO, -3011) \
    /* Modem */ \
    GROUP(EModem) \
    CLASS(EModemNotStarted, EModem, -4001) \
    CLASS(EModemBusy, EModem, -4002) \
    CLASS(EModemNotDialing, EModem, -4003) \
    CLASS(ENotDialing, EModem, -4004) \
    CLASS(EAlreadyDialing, EModem, -4005) \
    CLASS(EModemNotResponding, EModem, -4006) \
    CLASS(EModemRejectedCommand, EModem, -4007) \
    CLASS(EModemStatusMismatch, EModem, -4008) \
    /* Triggers */ \
    GROUP(ETrigger) \
    CLASS(ETriggerTooLong, ETrigger, -5002) \
    CLASS(EBadTriggerHandle, ETrigger, -5003) \
    /* File transfer protocols: the group class itself is raised */ \
    GROUP(EProtocol, -6006, -6008, -6009) \
    /* INI database */ \
    GROUP(EINI) \
    CLASS(EKeyTooLong, EINI, -7001) \
    CLASS(EDataTooLarge, EINI, -7002) \
    CLASS(EIniWrite, EINI, -7004) \
    CLASS(EIniRead, EINI, -7005) \
    CLASS(ERecordExists, EINI, -7007) \
    CLASS(ERecordNotFound, EINI, -7008) \
    CLASS(EDatabaseFull, EINI, -7010) \
    CLASS(EDatabaseEmpty, EINI, -7011) \
    CLASS(EBadFieldList, EINI, -7013) \
    CLASS(EBadFieldForIndex, EINI, -7014) \
    /* Fax */ \
    GROUP(EFax) \
    CLASS(EFaxBadFormat, EFax, -8001) \
    CLASS(EBadGraphicsFormat, EFax, -8002) \
    CLASS(EConvertAbort, EFax, -8003) \
    CLASS(EUnpackAbort, EFax, -8004) \
    CLASS(ECantMakeBitmap, EFax, -8005) \
    CLASS(EInvalidPageNumber, EFax, -8053) \
    CLASS(EFaxBadMachine, EFax, -8060) \
    CLASS(EFaxBadModemResult, EFax, -8061) \
    CLASS(EFaxTrainError, EFax, -8062) \
    CLASS(EFaxInitError, EFax, -8063) \
    CLASS(EFaxBusy, EFax, -8064) \
    CLASS(EFaxVoiceCall, EFax, -8065) \
    CLASS(EFaxDataCall, EFax, -8066) \
    CLASS(EFaxNoDialTone, EFax, -8067) \
    CLASS(EFaxNoCarrier, EFax, -8068) \
    CLASS(EFaxSessionError, EFax, -8069) \
    CLASS(EFaxPageError, EFax, -8070) \
    /* Telephony */ \
    GROUP(ETapi) \
    CLASS(ETapiAllocated, ETapi, -13801) \
    CLASS(ETapiBadDeviceID, ETapi, -13802) \
    CLASS(ETapiBearerModeUnavail, ETapi, -13803) \
    CLASS(ETapiCallUnavail, ETapi, -13805) \
    CLASS(ETapiCompletionOverrun, ETapi, -13806) \
    CLASS(ETapiConferenceFull, ETapi, -13807) \
    CLASS(ETapiDialBilling, ETapi, -13808) \
    CLASS(ETapiDialDialtone, ETapi, -13809) \
    CLASS(ETapiDialPrompt, ETapi, -13810) \
    CLASS(ETapiDialQuiet, ETapi, -13811) \
    CLASS(ETapiIncompatibleApiVersion, ETapi, -13812) \
    CLASS(ETapiIncompatibleExtVersion, ETapi, -13813) \
    CLASS(ETapiIniFileCorrupt, ETapi, -13814) \
    CLASS(ETapiInUse, ETapi, -13815) \
    CLASS(ETapiInvalAddress, ETapi, -13816) \
    CLASS(ETapiInvalAddressID, ETapi, -13817) \
    CLASS(ETapiInvalAddressMode, ETapi, -13818) \
    CLASS(ETapiInvalAddressState, ETapi, -13819) \
    CLASS(ETapiInvalAppHandle, ETapi, -13820) \
    CLASS(ETapiInvalAppName, ETapi, -13821) \
    CLASS(ETapiInvalBearerMode, ETapi, -13822) \
    CLASS(ETapiInvalCallComplMode, ETapi, -13823) \
    CLASS(ETapiInvalCallHandle, ETapi, -13824) \
    CLASS(ETapiInvalCallParams, ETapi, -13825) \
    CLASS(ETapiInvalCallPrivilege, ETapi, -13826) \
    CLASS(ETapiInvalCallSelect, ETapi, -13827) \
    CLASS(ETapiInvalCallState, ETapi, -13828) \
    CLASS(ETapiInvalCallStatelist, ETapi, -13829) \
    CLASS(ETapiInvalCard, ETapi, -13830) \
    CLASS(ETapiInvalCompletionID, ETapi, -13831) \
    CLASS(ETapiInvalConfCallHandle, ETapi, -13832) \
    CLASS(ETapiInvalConsultCallHandle, ETapi, -13833) \
    CLASS(ETapiInvalCountryCode, ETapi, -13834) \
    CLASS(ETapiInvalDeviceClass, ETapi, -13835) \
    CLASS(ETapiInvalDeviceHandle, ETapi, -13836) \
    CLASS(ETapiInvalDialParams, ETapi, -13837) \
    CLASS(ETapiInvalDigitList, ETapi, -13838) \
    CLASS(ETapiInvalDigitMode, ETapi, -13839) \
    CLASS(ETapiInvalDigits, ETapi, -13840) \
    CLASS(ETapiInvalExtVersion, ETapi, -13841) \
    CLASS(ETapiInvalGroupID, ETapi, -13842) \
    CLASS(ETapiInvalLineHandle, ETapi, -13843) \
    CLASS(ETapiInvalLineState, ETapi, -13844) \
    CLASS(ETapiInvalLocation, ETapi, -13845) \
    CLASS(ETapiInvalMediaList, ETapi, -13846) \
    CLASS(ETapiInvalMediaMode, ETapi, -13847) \
    CLASS(ETapiInvalMessageID, ETapi, -13848) \
    CLASS(ETapiInvalParam, ETapi, -13850) \
    CLASS(ETapiInvalParkID, ETapi, -13851) \
    CLASS(ETapiInvalParkMode, ETapi, -13852) \
    CLASS(ETapiInvalPointer, ETapi, -13853) \
    CLASS(ETapiInvalPrivSelect, ETapi, -13854) \
    CLASS(ETapiInvalRate, ETapi, -13855) \
    CLASS(ETapiInvalRequestMode, ETapi, -13856) \
    CLASS(ETapiInvalTerminalID, ETapi, -13857) \
    CLASS(ETapiInvalTerminalMode, ETapi, -13858) \
    CLASS(ETapiInvalTimeout, ETapi, -13859) \
    CLASS(ETapiInvalTone, ETapi, -13860) \
    CLASS(ETapiInvalToneList, ETapi, -13861) \
    CLASS(ETapiInvalToneMode, ETapi, -13862) \
    CLASS(ETapiInvalTransferMode, ETapi, -13863) \
    CLASS(ETapiLineMapperFailed, ETapi, -13864) \
    CLASS(ETapiNoConference, ETapi, -13865) \
    CLASS(ETapiNoDevice, ETapi, -13866) \
    CLASS(ETapiNoDriver, ETapi, -13867) \
    CLASS(ETapiNoMem, ETapi, -13868) \
    CLASS(ETapiNoRequest, ETapi, -13869) \
    CLASS(ETapiNotOwner, ETapi, -13870) \
    CLASS(ETapiNotRegistered, ETapi, -13871) \
    CLASS(ETapiOperationFailed, ETapi, -13872) \
    CLASS(ETapiOperationUnavail, ETapi, -13873) \
    CLASS(ETapiRateUnavail, ETapi, -13874) \
    CLASS(ETapiResourceUnavail, ETapi, -13875) \
    CLASS(ETapiRequestOverrun, ETapi, -13876) \
    CLASS(ETapiStructureTooSmall, ETapi, -13877) \
    CLASS(ETapiTargetNotFound, ETapi, -13878) \
    CLASS(ETapiTargetSelf, ETapi, -13879) \
    CLASS(ETapiUninitialized, ETapi, -13880) \
    CLASS(ETapiUserUserInfoTooBig, ETapi, -13881) \
    CLASS(ETapiReinit, ETapi, -13882) \
    CLASS(ETapiAddressBlocked, ETapi, -13883) \
    CLASS(ETapiBillingRejected, ETapi, -13884) \
    CLASS(ETapiInvalFeature, ETapi, -13885) \
    CLASS(ETapiNoMultipleInstance, ETapi, -13886) \
    CLASS(ETapiBusy, ETapi, -13928) \
    CLASS(ETapiNotSet, ETapi, -13929) \
    CLASS(ETapiNoSelect, ETapi, -13930) \
    CLASS(ETapiLoadFail, ETapi, -13931) \
    CLASS(ETapiGetAddrFail, ETapi, -13932) \
    CLASS(ETapi16Disabled, ETapi, -13933) \
    CLASS(ETapiVoiceNotSupported, ETapi, -13935) \
    CLASS(ETapiWaveFail, ETapi, -13936) \
    CLASS(ETapiTranslateFail, ETapi, -13942) \
    /* Remote access */ \
    GROUP(ERas) \
    CLASS(ERasLoadFail, ERas, -13980)
// clang-format on
