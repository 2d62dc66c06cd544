# Prints the names of the menu items that the running pcmanfm shows, one a line, as
# its accessibility interface tells them (the AT-SPI bus of the D-Bus session).
import gi

gi.require_version('Atspi', '2.0')
from gi.repository import Atspi


def shown_items(node):
    try:
        role = node.get_role_name()
        if role == 'menu item' and node.get_state_set().contains(Atspi.StateType.SHOWING):
            yield node.get_name()
        for i in range(node.get_child_count()):
            yield from shown_items(node.get_child_at_index(i))
    except gi.repository.GLib.Error:
        return  # gone meanwhile


desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    program = desktop.get_child_at_index(i)
    if program is not None and program.get_name() == 'pcmanfm':
        for name in shown_items(program):
            print(name)
