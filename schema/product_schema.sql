-- The tables and columns of the product database that this tool reads and writes, with
-- the keys and indexes a real product database has. Statements are separated by ";" at
-- the end of a line. Detail tables (one per series, named by __product_series.table_name)
-- are created by whoever fills the database; their layout is in detail_table.sql.

CREATE TABLE __product_series (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    id_series INTEGER NOT NULL UNIQUE,
    product_type INTEGER NOT NULL DEFAULT 0,
    product_series TEXT NOT NULL DEFAULT '',
    category TEXT NOT NULL DEFAULT '',
    sub_catalog TEXT NOT NULL DEFAULT '',
    odu_type TEXT NOT NULL DEFAULT '',
    table_name TEXT NOT NULL DEFAULT '',
    model_string TEXT NOT NULL DEFAULT '',
    is_not_for_sale INTEGER NOT NULL DEFAULT 0,
    is_user_skip INTEGER NOT NULL DEFAULT 0,
    rule_pipe_dimmension TEXT,
    rule_centralized_control TEXT,
    rule_limit TEXT,
    rule_add_refri_charge TEXT,
    rule_connect_ratio TEXT
);
CREATE INDEX idx_product_series_type ON __product_series (product_type);

CREATE TABLE __product_idx (
    product_code TEXT NOT NULL PRIMARY KEY,
    id_series INTEGER NOT NULL,
    product_type INTEGER NOT NULL DEFAULT 0,
    model TEXT NOT NULL DEFAULT '',
    base_model TEXT NOT NULL DEFAULT '',
    capacity_kw REAL,
    is_not_for_sale INTEGER NOT NULL DEFAULT 0,
    is_user_skip INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX idx_product_idx_series ON __product_idx (id_series);
CREATE INDEX idx_product_idx_type ON __product_idx (product_type);

CREATE TABLE __rule_odu_idu_matching (
    id_series_odu INTEGER NOT NULL,
    id_series_idu INTEGER NOT NULL
);
CREATE INDEX idx_rule_odu_idu_odu ON __rule_odu_idu_matching (id_series_odu);

CREATE TABLE __rule_odu_acc_matching (
    id_series_odu INTEGER NOT NULL,
    product_code_acc TEXT NOT NULL,
    type TEXT
);
CREATE INDEX idx_rule_odu_acc_odu ON __rule_odu_acc_matching (id_series_odu);

CREATE TABLE __rule_unit_acc_controller_matching (
    id_series INTEGER NOT NULL,
    product_code TEXT NOT NULL
);
CREATE INDEX idx_rule_unit_acc_series ON __rule_unit_acc_controller_matching (id_series);

CREATE TABLE __rule_connect_ratio (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    rule_name TEXT NOT NULL,
    min_ratio REAL NOT NULL DEFAULT 0.5,
    max_ratio REAL NOT NULL DEFAULT 1.3,
    max_idu_count INTEGER NOT NULL DEFAULT 64,
    remark TEXT
);

CREATE TABLE __rule_unit_type (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    rule_name TEXT NOT NULL,
    unit_type TEXT NOT NULL DEFAULT '',
    description TEXT
);

CREATE TABLE __rule_centralized_control (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    rule_name TEXT NOT NULL,
    controller_model TEXT NOT NULL DEFAULT '',
    max_units INTEGER NOT NULL DEFAULT 64,
    remark TEXT
);

CREATE TABLE __rule_unit_capacity_conversion (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    rule_name TEXT NOT NULL,
    capacity_hp REAL NOT NULL DEFAULT 0,
    capacity_kw REAL NOT NULL DEFAULT 0
);

CREATE TABLE __rule_altitude (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    rule_name TEXT NOT NULL,
    altitude_m INTEGER NOT NULL DEFAULT 0,
    correction_factor REAL NOT NULL DEFAULT 1.0
);

CREATE TABLE __rule_additional_charge (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    rule_name TEXT NOT NULL,
    liquid_pipe_mm REAL NOT NULL DEFAULT 0,
    charge_kg_per_m REAL NOT NULL DEFAULT 0
);

CREATE TABLE __rule_equivalent_pipe_length (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    rule_name TEXT NOT NULL,
    fitting TEXT NOT NULL DEFAULT '',
    equivalent_length_m REAL NOT NULL DEFAULT 0
);

CREATE TABLE __rule_limit (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    rule_name TEXT NOT NULL,
    max_pipe_length_m INTEGER NOT NULL DEFAULT 0,
    max_height_diff_m INTEGER NOT NULL DEFAULT 0,
    max_first_branch_m INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE __rule_pipe_dimension (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    rule_name TEXT NOT NULL,
    capacity_from_kw REAL NOT NULL DEFAULT 0,
    capacity_to_kw REAL NOT NULL DEFAULT 0,
    gas_pipe_mm REAL NOT NULL DEFAULT 0,
    liquid_pipe_mm REAL NOT NULL DEFAULT 0
);
