// The built library file itself: what it exports, its SONAME and its build stamp.
#include <cstring>
#include <cxxabi.h>
#include <elf.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <link.h>
#include <regex>
#include <set>
#include <string>

namespace
{

// Just enough of an ELF reader for the questions below. The library is built for the same
// target as this test, so its ELF class and byte order are this program's: ElfW(Shdr) is
// Elf64_Shdr or Elf32_Shdr, as the platform has it.
class ElfFile
{
  public:
    explicit ElfFile(const char* path)
    {
        std::ifstream in(path, std::ios::binary);
        m_image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    bool Valid() const
    {
        return m_image.size() > sizeof(ElfW(Ehdr)) &&
               memcmp(m_image.data(), ELFMAG, SELFMAG) == 0 &&
               m_image[EI_CLASS] == (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32);
    }

    const ElfW(Shdr) * Section(const std::string& name) const
    {
        const ElfW(Shdr)& names = Sections()[Header().e_shstrndx];
        for (int i = 0; i < Header().e_shnum; ++i)
            if (name == At(names.sh_offset + Sections()[i].sh_name))
                return &Sections()[i];
        return nullptr;
    }

    std::string Contents(const ElfW(Shdr) & section) const
    {
        return m_image.substr(section.sh_offset, section.sh_size);
    }

    // Names of the symbols the library defines for others, demangled.
    std::set<std::string> ExportedSymbols() const
    {
        const ElfW(Shdr)* table = Section(".dynsym");
        const ElfW(Shdr)& strings = Sections()[table->sh_link];
        std::set<std::string> names;
        for (size_t at = table->sh_offset; at < table->sh_offset + table->sh_size;
             at += sizeof(ElfW(Sym))) {
            const auto* symbol = reinterpret_cast<const ElfW(Sym)*>(m_image.data() + at);
            if (symbol->st_shndx != SHN_UNDEF && symbol->st_name != 0)
                names.insert(Demangle(At(strings.sh_offset + symbol->st_name)));
        }
        return names;
    }

    // The value of the dynamic section's entry `tag`, or nullptr when there is none.
    const ElfW(Dyn) * Dynamic(ElfW(Sxword) tag) const
    {
        const ElfW(Shdr)* dynamic = Section(".dynamic");
        for (size_t at = dynamic->sh_offset; at < dynamic->sh_offset + dynamic->sh_size;
             at += sizeof(ElfW(Dyn))) {
            const auto* entry = reinterpret_cast<const ElfW(Dyn)*>(m_image.data() + at);
            if (entry->d_tag == tag)
                return entry;
        }
        return nullptr;
    }

    std::string SoName() const
    {
        const ElfW(Dyn)* soname = Dynamic(DT_SONAME);
        const ElfW(Shdr)& strings = Sections()[Section(".dynamic")->sh_link];
        return soname != nullptr ? At(strings.sh_offset + soname->d_un.d_val) : "";
    }

  private:
    const ElfW(Ehdr) & Header() const
    {
        return *reinterpret_cast<const ElfW(Ehdr)*>(m_image.data());
    }
    const ElfW(Shdr) * Sections() const
    {
        return reinterpret_cast<const ElfW(Shdr)*>(m_image.data() + Header().e_shoff);
    }
    const char* At(size_t offset) const
    {
        return m_image.data() + offset;
    }
    static std::string Demangle(const char* name)
    {
        int status = 0;
        char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
        std::string result = status == 0 ? plain : name;
        free(plain);
        return result;
    }

    std::string m_image;
};

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A symbol that belongs to one of the public classes: a member, or the class's vtable or
// typeinfo.
bool BelongsToPublicClass(const std::string& symbol)
{
    for (const char* cls : {"QHxConsole", "QHxSimpleCrypt", "QHxAsciiCrypt"})
        for (const char* kind : {"", "vtable for ", "typeinfo for ", "typeinfo name for "})
            if (StartsWith(symbol, std::string(kind) + cls + (*kind ? "" : "::")) &&
                (*kind == '\0' || symbol.size() == strlen(kind) + strlen(cls)))
                return true;
    return false;
}

class LibraryFile : public ::testing::Test
{
  protected:
    ElfFile elf{HXCONSOLE_LIBRARY_FILE};
    void SetUp() override
    {
        ASSERT_TRUE(elf.Valid()) << HXCONSOLE_LIBRARY_FILE;
    }
};

} // namespace

TEST_F(LibraryFile, ExportsOnlyThePublicClasses)
{
    // Symbols the linker itself puts in every shared object.
    const std::set<std::string> fromLinker = {"_init", "_fini", "_edata", "_end", "__bss_start"};
    std::set<std::string> exported = elf.ExportedSymbols();
    for (const std::string& symbol : exported)
        EXPECT_TRUE(BelongsToPublicClass(symbol) || fromLinker.count(symbol)) << symbol;

    for (const char* expected : {
             "QHxConsole::Read(char*, unsigned long, char const*, bool)",
             "QHxSimpleCrypt::Encrypt(char const*, char*, unsigned int)",
             "QHxSimpleCrypt::Decrypt(char const*, char*, int)",
             "QHxAsciiCrypt::Encrypt(char const*, char*, unsigned int)",
             "QHxAsciiCrypt::Decrypt(char const*, char*, int)",
         })
        EXPECT_EQ(exported.count(expected), 1u) << expected;
    for (const char* cls : {"QHxConsole", "QHxSimpleCrypt", "QHxAsciiCrypt"})
        for (const char* kind : {"vtable for ", "typeinfo for ", "typeinfo name for "})
            EXPECT_EQ(exported.count(std::string(kind) + cls), 1u) << kind << cls;
}

TEST_F(LibraryFile, CarriesVersionedSoname)
{
    EXPECT_EQ(elf.SoName(), "libhxconsole.so.1");
}

// Bound when loaded: no lazy binding runs the dynamic linker on the stack of a hidden read.
TEST_F(LibraryFile, BindsEverySymbolWhenLoaded)
{
    const ElfW(Dyn)* flags = elf.Dynamic(DT_FLAGS);
    ASSERT_NE(flags, nullptr);
    EXPECT_NE(flags->d_un.d_val & DF_BIND_NOW, 0u);
}

TEST_F(LibraryFile, CarriesOneLineBuildStampThatIsNeverLoaded)
{
    const ElfW(Shdr)* stamp = elf.Section("HxVersion");
    ASSERT_NE(stamp, nullptr);
    EXPECT_EQ(stamp->sh_flags & SHF_ALLOC, 0u);

    std::string text = elf.Contents(*stamp);
    std::smatch parts;
    const std::regex form(R"(^(\d+\.\d+\.\d+\.\d+) (\d\d)/(\d\d)/\d\d (\d\d):(\d\d):(\d\d)\n$)");
    ASSERT_TRUE(std::regex_match(text, parts, form)) << text;
    EXPECT_EQ(parts[1], HXCONSOLE_VERSION);
    EXPECT_GE(std::stoi(parts[2]), 1);
    EXPECT_LE(std::stoi(parts[2]), 12);
    EXPECT_GE(std::stoi(parts[3]), 1);
    EXPECT_LE(std::stoi(parts[3]), 31);
    EXPECT_LE(std::stoi(parts[4]), 23);
    EXPECT_LE(std::stoi(parts[5]), 59);
    EXPECT_LE(std::stoi(parts[6]), 59);
}
