#include "card/CardEject.h"

#include "card/CardClaim.h"
#include "card/CardLayout.h"
#include "platform/VolumeEject.h"
#include "res/MessageCatalogue.h"

namespace tq9 {

namespace {

// A path as one word of a shell command.
std::string shellWord(const std::string& path)
{
    std::string word = "'";
    for (char c : path)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

CCardEject::Result failed(int id, const std::string& arg)
{
    return {false, FormatText(CMessageCatalogue::Get(id), arg)};
}

} // namespace

CCardEject::Result CCardEject::Eject(const std::string& cardRoot, std::string (*shown)(const std::string&))
{
    const std::string name = shown ? shown(cardRoot) : cardRoot;
    if (!CCardLayout::IsCard(cardRoot) || !CVolumeEject::IsMountPoint(cardRoot))
        return failed(IDS_EJECT_NOT_A_CARD, name);
    if (CCardClaim::Claimed(cardRoot))
        return failed(IDS_EJECT_JOB_WRITING, name);
    const CVolumeEject::Result result = CVolumeEject::Eject(cardRoot);
    switch (result.outcome) {
    case CVolumeEject::Outcome::Ejected:
        return {true, FormatText(CMessageCatalogue::Get(IDS_CARD_CAN_BE_REMOVED), name)};
    case CVolumeEject::Outcome::Busy:
        return failed(IDS_EJECT_CARD_BUSY, name);
    case CVolumeEject::Outcome::Refused:
        return failed(IDS_EJECT_REFUSED, result.reason);
    case CVolumeEject::Outcome::NoService:
        break;
    }
    // A name the writer quoted is a shell word already.
    return failed(IDS_EJECT_NO_SERVICE, "sudo umount " + (name != cardRoot ? name : shellWord(cardRoot)));
}

} // namespace tq9
