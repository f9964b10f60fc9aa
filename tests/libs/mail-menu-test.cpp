// mail-menu driven through its standard input, every prompt byte for byte, with the stand-in
// libshared.so.1.0 found through LD_LIBRARY_PATH; and how mail-menu names that library.
#include <string>

#include "check.hpp"
#include "elf.hpp"

namespace {

const std::string kMenu = "\n 1.Send\n 2.Receive\n 3.Exit\n Enter Your Choice [1/2/3]  :";
const std::string kDestination = "\n Enter Destination Mail ID : ";
const std::string kCompose = "\n Compose the Message: \n";
const std::string kConfirm = "\n Sending Message....\n Confirm [y/n] : ";
const std::string kCancelled = "\n Message was cancelled\n";
const std::string kReceive = "\n How many Messages you want to receive : ";
const std::string kAfterReceive = "\n\n";
const std::string kSendDialogue = kMenu + kDestination + kCompose + kConfirm;
// What the library prints when it is called: the call and what it was given.
const std::string kSent = "libshared.so.1.0: pop3send()\n";
std::string received(int count) {
    return "libshared.so.1.0: pop3recv(" + std::to_string(count) + ")\n";
}
const std::string kNotANumber = "mail-menu: not a number, line ignored\n";
const std::string kEndOfInput = "\nmail-menu: end of input\n";
std::string cut(const std::string &what, int limit) {
    return "mail-menu: " + what + " longer than " + std::to_string(limit) + " characters, cut\n";
}

struct Case {
    const char *what;
    std::string input, out, err;
    int status;
};

std::vector<std::string> libraryPath() {
    return {"LD_LIBRARY_PATH=" + harness::libPath("")};
}

harness::Result runMenu(const std::string &input, std::vector<std::string> env = libraryPath()) {
    return harness::run(harness::binPath("mail-menu"), input, {.env = env});
}

TEST(MailMenu, Dialogues) {
    const std::string d119(119, 'd'), d200(200, 'd'), m1023(1023, 'm'), m1500(1500, 'm');
    const Case cases[] = {
        {"choice 3 ends at once", "3\n1\n", kMenu, "", 0},
        {"4, 0 and -7 show the menu again", "4\n0\n-7\n3\n", kMenu + kMenu + kMenu + kMenu, "", 0},
        {"y sends", "1\nbob@example.org\nhello\ny\n3\n", kSendDialogue + kSent + kMenu, "", 0},
        {"Y sends", "1\nbob\nhello\nY\n3\n", kSendDialogue + kSent + kMenu, "", 0},
        {"n cancels", "1\nbob\nhello\nn\n3\n", kSendDialogue + kCancelled + kMenu, "", 0},
        {"another letter cancels", "1\nbob\nhello\nq\n3\n", kSendDialogue + kCancelled + kMenu, "",
         0},
        {"an empty answer cancels", "1\nbob\nhello\n\n3\n", kSendDialogue + kCancelled + kMenu, "",
         0},
        // Only the first word is the message; the blank after it is dropped and the next word's
        // first letter is the answer; the rest of the line is not a number for the menu.
        {"a second word starting with y confirms", "1\nbob\nhello yes please\n3\n",
         kSendDialogue + kSent + kMenu + kMenu, kNotANumber, 0},
        {"a second word starting with t cancels", "1\nbob\nhello there\n3\n",
         kSendDialogue + kCancelled + kMenu + kMenu, kNotANumber, 0},
        {"receive 5", "2\n5\n3\n", kMenu + kReceive + received(5) + kAfterReceive + kMenu, "", 0},
        {"receive -1 passes it on", "2\n-1\n3\n",
         kMenu + kReceive + received(-1) + kAfterReceive + kMenu, "", 0},
        {"a choice that is not a number", "send\n3\n", kMenu + kMenu, kNotANumber, 0},
        {"a count that is not a number calls nothing", "2\nfive\n3\n",
         kMenu + kReceive + kAfterReceive + kMenu, kNotANumber, 0},
        {"words that fill their buffers exactly", "1\n" + d119 + "\n" + m1023 + "\ny\n3\n",
         kSendDialogue + kSent + kMenu, "", 0},
        {"a long destination is cut and the dialogue stays in step",
         "1\n" + d200 + "\nhello\ny\n3\n", kSendDialogue + kSent + kMenu,
         cut("destination mail ID", 119), 0},
        {"a long message is cut and the dialogue stays in step", "1\nbob\n" + m1500 + "\nn\n3\n",
         kSendDialogue + kCancelled + kMenu, cut("message", 1023), 0},
        {"end of input at the menu", "", kMenu, kEndOfInput, 1},
        {"end of input after a bad choice", "x", kMenu + kMenu, kNotANumber + kEndOfInput, 1},
        {"end of input for the destination", "1\n", kMenu + kDestination, kEndOfInput, 1},
        {"end of input for the message", "1\nbob\n", kMenu + kDestination + kCompose, kEndOfInput,
         1},
        {"end of input right after the message", "1\nbob\nhi", kSendDialogue, kEndOfInput, 1},
        {"end of input for the answer", "1\nbob\nhi\n", kSendDialogue, kEndOfInput, 1},
        {"end of input for the count", "2\n", kMenu + kReceive, kEndOfInput, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = runMenu(c.input);
        EXPECT_BYTES(c.out, result.out);
        EXPECT_BYTES(c.err, result.err);
        EXPECT_EQ("exit status " + std::to_string(c.status), result.status.describe());
    }
}

// Sanitizer runtimes, which that preset links into every program, are not ours to check.
std::vector<std::string> neededLibraries(const std::string &path) {
    std::vector<std::string> needed;
    for (const auto &name : harness::elfDynamic(path, "NEEDED"))
        if (!name.starts_with("libasan") && !name.starts_with("libubsan"))
            needed.push_back(name);
    return needed;
}

TEST(MailMenu, NamesItsLibraryWithoutAPath) {
    const std::string path = harness::binPath("mail-menu");
    EXPECT_EQ((std::vector<std::string>{"libshared.so.1.0", "libc.so.6"}), neededLibraries(path));
    EXPECT_TRUE(harness::elfDynamic(path, "RUNPATH").empty());
    EXPECT_TRUE(harness::elfDynamic(path, "RPATH").empty());
}

TEST(MailMenu, WithoutTheLibraryTheLoaderRefusesToStartIt) {
    const auto result = runMenu("", {"LD_LIBRARY_PATH="});  // no input: it never reads
    EXPECT_BYTES("", result.out);
    EXPECT_NE(std::string::npos,
              result.err.find("libshared.so.1.0: cannot open shared object file"))
        << result.err;
    EXPECT_EQ("exit status 127", result.status.describe());
}

}  // namespace
