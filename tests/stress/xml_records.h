// Reads a log's XML document back with a real parser.
#ifndef VANTREL_TESTS_STRESS_XML_RECORDS_H
#define VANTREL_TESTS_STRESS_XML_RECORDS_H

#include <libxml/parser.h>

#include <string>
#include <utility>
#include <vector>

// Adds the Rank (0 when it has none) and the text of each Msg of `document`
// to `records`; false when the document is not well-formed.
inline bool add_xml_records(const std::string& document,
                            std::vector<std::pair<unsigned long, std::string>>& records) {
  xmlDoc* doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "log.xml",
                              nullptr, XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr) return false;
  for (xmlNode* msg = xmlDocGetRootElement(doc)->children; msg; msg = msg->next) {
    if (msg->type != XML_ELEMENT_NODE) continue;
    xmlChar* rank = xmlGetProp(msg, reinterpret_cast<const xmlChar*>("Rank"));
    records.emplace_back(rank ? std::stoul(reinterpret_cast<const char*>(rank)) : 0, "");
    xmlFree(rank);
    for (xmlNode* child = msg->children; child; child = child->next)
      if (child->type == XML_TEXT_NODE)
        records.back().second += reinterpret_cast<const char*>(child->content);
  }
  xmlFreeDoc(doc);
  return true;
}

#endif  // VANTREL_TESTS_STRESS_XML_RECORDS_H
