// clamd.conf as clamd reads it.
#include "bridge/clamd_config.h"

#include <cstdint>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "bridge/byte_size.h"

namespace bridge {

namespace {

// clamd's own spelling of a true value.
bool IsYes(const std::string& value) {
  const std::string lower = Lower(value);
  return lower == "yes" || lower == "true" || lower == "1";
}

// The yes/no settings the bridge compares, by clamd's names (older
// names beside the new ones, as clamd still reads them).
bool ClamdConfig::*FlagNamed(const std::string& name) {
  static constexpr struct {
    const char* name;
    bool ClamdConfig::*flag;
  } kFlags[] = {
      {"scanarchive", &ClamdConfig::scanArchive},
      {"scanmail", &ClamdConfig::scanMail},
      {"scanole2", &ClamdConfig::scanOle2},
      {"scanpe", &ClamdConfig::scanPe},
      {"scanelf", &ClamdConfig::scanElf},
      {"scanpdf", &ClamdConfig::scanPdf},
      {"scanhtml", &ClamdConfig::scanHtml},
      {"scanswf", &ClamdConfig::scanSwf},
      {"scanxmldocs", &ClamdConfig::scanXmlDocs},
      {"scanhwp3", &ClamdConfig::scanHwp3},
      {"scanonenote", &ClamdConfig::scanOneNote},
      {"scanimage", &ClamdConfig::scanImage},
      {"scanimagefuzzyhash", &ClamdConfig::scanImageFuzzyHash},
      {"heuristicalerts", &ClamdConfig::heuristicAlerts},
      {"algorithmicdetection", &ClamdConfig::algorithmicDetection},
      {"alertexceedsmax", &ClamdConfig::alertExceedsMax},
      {"blockmax", &ClamdConfig::alertExceedsMax},
      {"alertencrypted", &ClamdConfig::alertEncrypted},
      {"archiveblockencrypted", &ClamdConfig::alertEncrypted},
      {"alertencryptedarchive", &ClamdConfig::alertEncryptedArchive},
      {"alertencrypteddoc", &ClamdConfig::alertEncryptedDoc},
  };
  for (const auto& entry : kFlags)
    if (name == entry.name) return entry.flag;
  return nullptr;
}

}  // namespace

ClamdConfig ParseClamdConfig(const std::string& text) {
  ClamdConfig config;
  bool addressSeen = false;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const size_t nameEnd = line.find_first_of(" \t", start);
    if (nameEnd == std::string::npos) continue;
    const std::string name = Lower(line.substr(start, nameEnd - start));
    // A name followed by blanks alone has an empty value.
    std::string value = TrimLine(line.substr(nameEnd));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (name == "localsocket") {
      config.localSocket = value;
    } else if (name == "tcpsocket") {
      config.tcpSocket = value;
    } else if (name == "databasedirectory") {
      config.databaseDirectory = value;
    } else if (name == "tcpaddr" && !addressSeen) {
      config.tcpAddress = value;
      addressSeen = true;
    } else if (bool ClamdConfig::*const flag = FlagNamed(name)) {
      config.*flag = IsYes(value);
    } else {
      uint64_t ClamdConfig::*const field =
          name == "maxfilesize"                ? &ClamdConfig::maxFileSize
          : name == "maxscansize"              ? &ClamdConfig::maxScanSize
          : name == "streammaxlength"          ? &ClamdConfig::streamMaxLength
          : name == "maxrecursion"             ? &ClamdConfig::maxRecursion
          : name == "maxfiles"                 ? &ClamdConfig::maxFiles
          : name == "maxscantime"              ? &ClamdConfig::maxScanTimeMs
          : name == "maxthreads"               ? &ClamdConfig::maxThreads
          : name == "maxconnectionqueuelength" ? &ClamdConfig::maxConnectionQueueLength
          : name == "maxqueue"                 ? &ClamdConfig::maxQueue
                                               : nullptr;
      if (field)
        if (const std::optional<uint64_t> number = ReadByteSize(value)) config.*field = *number;
    }
  }
  return config;
}

std::string ClamdSizeText(uint64_t bytes) {
  if (bytes != 0 && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + "M";
  if (bytes != 0 && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + "K";
  return std::to_string(bytes);
}

std::optional<ClamdConfig> ReadClamdConfig(const std::string& path) {
  std::ifstream file(FsPath(path), std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return ParseClamdConfig(text.str());
}

}  // namespace bridge
