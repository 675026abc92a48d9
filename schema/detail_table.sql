-- Layout of a series' detail table; %1 is the table name. The tool reads only model and
-- type; the other columns stand for the technical data a real detail table carries.
CREATE TABLE [%1] (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    model TEXT NOT NULL,
    type INTEGER NOT NULL DEFAULT 0,
    capacity_kw REAL,
    power_w REAL,
    remark TEXT
);
CREATE INDEX [idx_%1_model] ON [%1] (model);
