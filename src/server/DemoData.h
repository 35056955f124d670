#pragma once

class Connection;

// A small, believable organisation to show the program with: nested departments, workplaces with
// their people, computers, printers and servers with their equipment, consumables replaced at
// regular intervals, software, firms, documents, bookmarks of the current operating-system user,
// the default setup checklist, the domain to scan and the program version in use. Everything is
// written in one transaction. A database that already holds departments is refused (AppError) and
// left untouched, so that loading twice never duplicates the organisation.
void CreateDemoData(Connection &cn);

// About `devices` devices with ten elements each (hardware, consumables and software), spread over
// about devices/200 departments in two levels and devices/2 workplaces, for trying the program and
// the server on a large database. Network names are given to the computers, and every element gets
// a serial number of its own ("SN" and nine digits) so that a search for one finds exactly one row.
// The elements of every four devices came on one incoming document (forty positions; delivery
// notes, invoices and acts of three suppliers), dated shortly before the first of them was
// installed, so that the documents spread over the same years as the elements. The catalogue gets
// tens to hundreds of models more in a few kinds (cartridges, monitors, disks), as a large
// organisation's has. Adds to whatever the database holds (the kinds, firms and models it needs are
// reused when present). One transaction; progress goes to standard error every 10%.
void CreateScaleData(Connection &cn, int devices);
