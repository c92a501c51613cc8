// What the two adapter operations need from the machine they run on. A
// Windows host, a Linux host and the virtual PC each supply one; the
// operations themselves stay the same everywhere.
#pragma once

#include <string>

#include "lib/collections.h"
#include "platform/raw_disk_api.h"
#include "platform/serial_api.h"
#include "platform/win_types.h"
#include "tolvane_texts.h"

namespace Tolvane {

// Modal message boxes, owned by whatever window the front-end shows. Texts are
// code page 932 bytes; type is MB_OK or MB_YESNO, optionally with an icon
// flag; the answer is IDOK, IDYES or IDNO. The boxes speak the front-end's
// language: whoever shows a text through them picks it (or the format it
// fills in) in Language().
class CMessageBoxes {
public:
    explicit CMessageBoxes(ELanguage language = ELanguage::kJapanese) : m_language(language) {}
    virtual ~CMessageBoxes() = default;
    virtual int MessageBox(const char* text, UINT type) = 0;

    ELanguage Language() const { return m_language; }
    int Show(const CText& text, UINT type) { return MessageBox(text.In(m_language), type); }

private:
    ELanguage m_language;
};

class COperationHost {
public:
    virtual ~COperationHost() = default;

    // COM port numbers of the present USB serial interfaces with these IDs,
    // ascending; empty when there are none (or the lookup failed).
    virtual ZRK::CSharedArray<WORD> FindUsbComPorts(WORD vendorId, WORD productId) = 0;

    // The serial calls behind the port the switch speaks on.
    virtual ZRK::CSerialApi& Serial() = 0;

    // The raw-disk calls the return uses ("\\.\PhysicalDrive%d" paths).
    virtual ZRK::CRawDiskApi& RawDisk() = 0;

    // A plain blocking wait (virtual time on the virtual PC).
    virtual void Sleep(DWORD milliseconds) = 0;

    // Whether this process may do the operations' work. Windows and the
    // virtual PC answer through the registry check of the COM-port
    // database; Linux has a rule of its own.
    virtual bool HasAdministratorRights() = 0;

    // The text (code page 932, in language) that tells the user so when
    // HasAdministratorRights() has said no: a request for administrator
    // rights, or on Linux what is missing and how to get it.
    virtual std::string RightsMessage(ELanguage language) { return Text::kNeedAdmin.In(language); }
};

}  // namespace Tolvane
