#include "convert/office/OfficeSettings.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XSingleServiceFactory.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>

using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

namespace {

// One node of the office's configuration, opened for changes; nothing is kept
// until commit().
class ConfigurationNode {
public:
    ConfigurationNode(const Reference<css::lang::XMultiServiceFactory> &provider, const OUString &path)
    {
        css::beans::PropertyValue node;
        node.Name = "nodepath";
        node.Value <<= path;
        css::uno::Sequence<Any> arguments(1);
        arguments.getArray()[0] <<= node;
        m_node.set(provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationUpdateAccess",
                                                         arguments),
                   UNO_QUERY_THROW);
    }

    void set(const OUString &property, const Any &value)
    {
        Reference<css::container::XNameReplace>(m_node, UNO_QUERY_THROW)->replaceByName(property, value);
    }

    // For a set node: `property` of its element `element`, which is made first
    // when the set has none of that name.
    void setInElement(const OUString &element, const OUString &property, const Any &value)
    {
        const Reference<css::container::XNameContainer> elements(m_node, UNO_QUERY_THROW);
        if (elements->hasByName(element)) {
            Reference<css::container::XNameReplace>(elements->getByName(element), UNO_QUERY_THROW)
                ->replaceByName(property, value);
            return;
        }
        // The configuration's sets make their elements only this way, though the
        // interface is marked as deprecated.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        const Reference<css::container::XNameReplace> made(
            Reference<css::lang::XSingleServiceFactory>(m_node, UNO_QUERY_THROW)->createInstance(), UNO_QUERY_THROW);
#pragma GCC diagnostic pop
        made->replaceByName(property, value);
        elements->insertByName(element, Any(made));
    }

    // For a set node: `property` of every element it has.
    void setInEveryElement(const OUString &property, const Any &value)
    {
        const Reference<css::container::XNameContainer> elements(m_node, UNO_QUERY_THROW);
        for (const OUString &element : elements->getElementNames())
            setInElement(element, property, value);
    }

    void commit()
    {
        Reference<css::util::XChangesBatch>(m_node, UNO_QUERY_THROW)->commitChanges();
    }

private:
    Reference<css::uno::XInterface> m_node;
};

void applySafetySettings(const Reference<css::lang::XMultiServiceFactory> &provider)
{
    ConfigurationNode scripting(provider, "/org.openoffice.Office.Common/Security/Scripting");
    scripting.set("DisableMacrosExecution", Any(true));
    scripting.set("MacroSecurityLevel", Any(sal_Int32(3))); // very high: only trusted places, which there are none of
    // Nothing a document links to (images, stylesheets, frames, linked sections
    // and objects) is fetched on its behalf, since none comes from a trusted place.
    scripting.set("BlockUntrustedRefererLinks", Any(true));
    scripting.commit();

    ConfigurationNode update(provider, "/org.openoffice.Office.Writer/Content/Update");
    update.set("Link", Any(sal_Int32(0))); // never (1: on request, 2: always)
    update.commit();

    // Every converted path would otherwise pile up in the profile.
    ConfigurationNode history(provider, "/org.openoffice.Office.Common/History");
    history.set("PickListSize", Any(sal_Int32(0)));
    history.set("RecentDocsThumbnail", Any(false));
    history.commit();

    for (const char *node :
         {"/org.openoffice.Office.Recovery/RecoveryInfo", "/org.openoffice.Office.Recovery/AutoSave"}) {
        ConfigurationNode recovery(provider, OUString::createFromAscii(node));
        recovery.set("Enabled", Any(false));
        recovery.commit();
    }
}

void applySpeedSettings(const Reference<css::lang::XMultiServiceFactory> &provider)
{
    // Writer's toolbars, and its status bar, which the window states do not list
    // until it has been shown once.
    ConfigurationNode bars(provider, "/org.openoffice.Office.UI.WriterWindowState/UIElements/States");
    bars.setInEveryElement("Visible", Any(false));
    bars.setInElement("private:resource/statusbar/statusbar", "Visible", Any(false));
    bars.commit();

    ConfigurationNode views(provider, "/org.openoffice.Office.Views/Windows");
    views.setInElement("swriter/10336", "Visible", Any(false)); // Writer's sidebar
    views.commit();

    ConfigurationNode factories(provider, "/org.openoffice.Setup/Office/Factories");
    factories.setInElement("com.sun.star.text.TextDocument", "ooSetupFactoryWindowAttributes",
                           Any(OUString("0,0,64,48;1;0,0,0,0;")));
    factories.commit();

    ConfigurationNode spelling(provider, "/org.openoffice.Office.Linguistic/SpellChecking");
    spelling.set("IsSpellAuto", Any(false));
    spelling.commit();

    ConfigurationNode completion(provider, "/org.openoffice.Office.Writer/AutoFunction/Completion");
    completion.set("Enable", Any(false));
    completion.set("CollectWords", Any(false));
    completion.commit();
}

} // namespace

void applyOfficeSettings(const Reference<css::uno::XComponentContext> &office, bool tuned)
{
    const Reference<css::lang::XMultiServiceFactory> provider = css::configuration::theDefaultProvider::get(office);
    ConfigurationNode misc(provider, "/org.openoffice.Office.Common/Misc");
    misc.set("UseLocking", Any(false));
    misc.set("UseDocumentOOoLockFile", Any(false));
    misc.commit();
    if (!tuned)
        return;
    applySafetySettings(provider);
    applySpeedSettings(provider);
}
