#include "config/config_document.h"

#include "config/package_names.h"
#include "platform/text_rules.h"
#include "tinyxml.h"

namespace {

const char* AttributeOrEmpty(const TiXmlElement* element, const char* name) {
    const char* value = element->Attribute(name);
    return value != nullptr ? value : "";
}

// Adds the attributes of every Message child of a Messages element.
bool ReadMessages(const TiXmlElement* messagesElement, MessageTable& messages) {
    bool any = false;
    for (const TiXmlNode* child = messagesElement->FirstChild(); child != nullptr;
         child = child->NextSibling()) {
        if (!ElementNamed(child, config_element::kMessage)) continue;
        for (const TiXmlAttribute* attribute = child->ToElement()->FirstAttribute();
             attribute != nullptr; attribute = attribute->Next()) {
            messages[attribute->Name()] = attribute->Value();
            any = true;
        }
    }
    return any;
}

}  // namespace

bool ElementNamed(const TiXmlNode* node, const char* name) {
    return node->Type() == TiXmlNode::TINYXML_ELEMENT && EqualIgnoringCase(node->Value(), name);
}

bool ReadConfigDocument(const TiXmlDocument& document, std::string& minVersion,
                        std::string& maxVersion, MessageTable& messages) {
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr) return false;
    bool versionSeen = false;
    bool messageSeen = false;
    for (const TiXmlNode* child = root->FirstChild(); child != nullptr;
         child = child->NextSibling()) {
        if (ElementNamed(child, config_element::kVersion)) {
            minVersion = AttributeOrEmpty(child->ToElement(), config_attribute::kMin);
            maxVersion = AttributeOrEmpty(child->ToElement(), config_attribute::kMax);
            versionSeen = true;
        } else if (ElementNamed(child, config_element::kMessages)) {
            if (ReadMessages(child->ToElement(), messages)) messageSeen = true;
        }
    }
    return versionSeen && messageSeen;
}
