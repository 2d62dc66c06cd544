# Prints the menu items that the running pcmanfm shows, one a line, as its
# accessibility interface tells them on the D-Bus session's AT-SPI bus.
import gi
gi.require_version('Atspi', '2.0')
from gi.repository import Atspi


def shown_items(node):
    if node.get_role_name() == 'menu item' and node.get_state_set().contains(Atspi.StateType.SHOWING):
        yield node.get_name()
    for i in range(node.get_child_count()):
        yield from shown_items(node.get_child_at_index(i))


desktop = Atspi.get_desktop(0)
for program in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())):
    if program and program.get_name() == 'pcmanfm':
        print(*shown_items(program), sep='\n')
