// SPDX-License-Identifier: MIT
#pragma once

namespace corvel::ui {

class RemoteListModel;

// The refresh of the remote list, run after the scan has updated the selected interface's
// station table (only while its local device is present). A row is kept for each present
// HomePlug AV station other than the local device, found again by its MAC text: a new station
// gets a row with its device's name and password (a vendor name and a number, and the
// placeholder, when there is none); a station gone or of another family loses its row. The rate
// and quality cells are rewritten when the station's rate changed since they were written. The
// refresh consumes the stations' change flags (kindChanged, and rateChanged once the Rate column
// shows the new rate), then sorts the rows by the list's sort state.
void fillRemoteList(RemoteListModel& model);

}  // namespace corvel::ui
