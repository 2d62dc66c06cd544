#include "convert/office/OfficeSettings.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>

void applyOfficeSettings(const css::uno::Reference<css::uno::XComponentContext> &office)
{
    const auto provider = css::configuration::theDefaultProvider::get(office);
    css::beans::PropertyValue node;
    node.Name = "nodepath";
    node.Value <<= rtl::OUString("/org.openoffice.Office.Common/Misc");
    css::uno::Sequence<css::uno::Any> arguments(1);
    arguments.getArray()[0] <<= node;
    const css::uno::Reference<css::container::XNameReplace> misc(
        provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationUpdateAccess", arguments),
        css::uno::UNO_QUERY_THROW);
    misc->replaceByName("UseLocking", css::uno::Any(false));
    misc->replaceByName("UseDocumentOOoLockFile", css::uno::Any(false));
    css::uno::Reference<css::util::XChangesBatch>(misc, css::uno::UNO_QUERY_THROW)->commitChanges();
}
