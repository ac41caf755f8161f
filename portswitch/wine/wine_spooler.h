// The printers of a scenario, kept in Wine's spooler through its own API.
// Wine enumerates printers in alphabetical order; a script's order is the
// enumeration order, so each printer's spooler name starts with its place
// ("01 Cutter"), and names are turned back into the script's on the way out.
#pragma once

#include <string>
#include <vector>

#include "platform/spool/winspool.h"

struct ScenarioPrinter {
    std::string strName;  // as the script names it
    std::string strPort;
};

class CWineSpooler {
public:
    // Installs the printer driver the printers use (Wine's PostScript driver)
    // unless it is there. False with *pError when the spooler refuses.
    bool Prepare(std::string* pError);
    // Deletes every local printer, for the next script.
    bool Clear(std::string* pError);
    // Adds the printer, or moves it when it exists; each port of the text
    // (a pool lists several, separated by ',') is added to the local port
    // monitor first unless the spooler knows it.
    bool PutPrinter(const std::string& strName, const std::string& strPort, std::string* pError);
    // The local printers in enumeration order, with the script's names.
    bool List(std::vector<ScenarioPrinter>* pPrinters, std::string* pError);
    // The script's name for a spooler name (unchanged when it has no place),
    // and the other way round.
    std::string ScriptName(const std::string& strSpoolerName) const;
    std::string SpoolerName(const std::string& strName) const;

private:
    bool AddPort(const std::string& strPort, std::string* pError);

    std::vector<std::string> m_aNames;  // the script's names in order of addition
};
